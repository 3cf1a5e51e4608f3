// Windows programs started as Windows starts them: an exact raw command line
// and show-window value.
#ifndef TVKDMPST_TESTS_PROCESS_WIN32_H
#define TVKDMPST_TESTS_PROCESS_WIN32_H

#include <windows.h>

#include <string>

// Started without STARTF_USESHOWWINDOW, so the program gets SW_SHOWDEFAULT.
const int no_show_value = -1;
// What launch returns when the program could not be started at all.
const DWORD not_started = 0xDEADBEEF;

// The folder of the running test program, where the build puts the programs.
inline std::string folder_of_this_test()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\'));
}

// Starts exe with exactly this command line in the folder dir, waits for it
// and returns its exit code.
inline DWORD launch(const std::string &exe, const std::string &command_line, int show,
                    const std::string &dir)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (show != no_show_value) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(show);
    }
    PROCESS_INFORMATION process = {};
    std::string line = command_line;
    if (!CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                        &startup, &process))
        return not_started;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = not_started;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

#endif
