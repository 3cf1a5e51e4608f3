// The least a Windows run of this job can do: a GUI-subsystem program bound
// to tvksvcio.dll that asks it once, then puts the report's bytes into the
// file named by its command-line tail with one create, one write and one
// close. The benchmark measures tvkdmpst.exe against it.
#include "report_texts.h"
#include "tvksvcio.h"

#include <windows.h>

static const char report[] = REPORT_ACTIVE_UTC_UNSYNCED;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR tail, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    tvk_time_adjustment_active();
    const HANDLE file = CreateFileA(tail, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written;
    WriteFile(file, report, sizeof report - 1, &written, NULL);
    CloseHandle(file);
    return 0;
}
