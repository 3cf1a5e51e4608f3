// Report files as a reader finds them on disk, line ends included.
#ifndef TVKDMPST_TESTS_REPORT_TEXTS_H
#define TVKDMPST_TESTS_REPORT_TEXTS_H

// Lines 1 to 4, the same in every report.
#define REPORT_HEAD                                                                                \
    "[Info]\r\n"                                                                                   \
    "About=Tavrenik Time Adjustment Status Dumper v1.1\r\n"                                        \
    "\r\n"                                                                                         \
    "[Output]\r\n"

// The keys of lines 5 to 14, in their order, for the C++ tests; the
// benchmark's floor programs in C take only the texts.
#ifdef __cplusplus
inline constexpr const char *report_keys[] = {
    "SvcTimeAdjustmentActive",
    "SvcRefTimeAccessible",
    "RefTimeNotSynchronized",
    "RefDaylightSavingEnabled",
    "RefSyncAfterReset",
    "RefDaylightChangeAnnounced",
    "RefIsUtc",
    "RefLeapSecondAnnounced",
    "RefTimeSetManually",
    "RefTimeInvalid",
};
#endif

// Adjustment result 1, reference reachable, status word 0x11.
#define REPORT_ACTIVE_UTC_UNSYNCED                                                                 \
    REPORT_HEAD                                                                                    \
    "SvcTimeAdjustmentActive=1\r\n"                                                                \
    "SvcRefTimeAccessible=1\r\n"                                                                   \
    "RefTimeNotSynchronized=1\r\n"                                                                 \
    "RefDaylightSavingEnabled=0\r\n"                                                               \
    "RefSyncAfterReset=0\r\n"                                                                      \
    "RefDaylightChangeAnnounced=0\r\n"                                                             \
    "RefIsUtc=1\r\n"                                                                               \
    "RefLeapSecondAnnounced=0\r\n"                                                                 \
    "RefTimeSetManually=0\r\n"                                                                     \
    "RefTimeInvalid=0\r\n"                                                                         \
    "\r\n"

// The flag lines of a report whose reference is not reachable.
#define REPORT_FLAGS_HIDDEN                                                                        \
    "RefTimeNotSynchronized=\r\n"                                                                  \
    "RefDaylightSavingEnabled=\r\n"                                                                \
    "RefSyncAfterReset=\r\n"                                                                       \
    "RefDaylightChangeAnnounced=\r\n"                                                              \
    "RefIsUtc=\r\n"                                                                                \
    "RefLeapSecondAnnounced=\r\n"                                                                  \
    "RefTimeSetManually=\r\n"                                                                      \
    "RefTimeInvalid=\r\n"                                                                          \
    "\r\n"

// Adjustment result 0: the service is not active.
#define REPORT_INACTIVE                                                                            \
    REPORT_HEAD                                                                                    \
    "SvcTimeAdjustmentActive=0\r\n"                                                                \
    "SvcRefTimeAccessible=\r\n" REPORT_FLAGS_HIDDEN

#endif
