// The three functions of the time service's interface library tvksvcio, as
// this program calls them. The library belongs to the service; the program
// binds it when it is loaded and relies on nothing else of it.
#ifndef TVKSVCIO_H
#define TVKSVCIO_H

#include <stdint.h>

// TVKSVCIO_BUILD: building a library that exports them. TVKSVCIO_STATIC:
// they are linked into the same binary, as in tests of the report writer.
#if defined(_WIN32) && defined(TVKSVCIO_BUILD)
#define TVKSVCIO_API __declspec(dllexport)
#elif defined(_WIN32) && !defined(TVKSVCIO_STATIC)
#define TVKSVCIO_API __declspec(dllimport)
#elif defined(_WIN32)
#define TVKSVCIO_API
#else
#define TVKSVCIO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Greater than 0 when the time adjustment service is active; 0 or a negative
// value when it is not.
TVKSVCIO_API int32_t tvk_time_adjustment_active(void);

// Non-zero when the service can reach its reference time.
TVKSVCIO_API int32_t tvk_ref_time_accessible(void);

// The status word of the reference time; bit 0 to 7 are the flags of the
// report, the higher bits are not reported.
TVKSVCIO_API uint32_t tvk_get_ref_time_status(void);

#ifdef __cplusplus
}
#endif

#endif
