// The Windows program: a GUI-subsystem entry that shows nothing and writes
// the status report to the file named by the command-line tail.
#include "command_tail.h"
#include "status_dump.h"

#include <windows.h>

static int is_ansi_lead_byte(unsigned char byte)
{
    return IsDBCSLeadByte(byte);
}

// The parameters carry the names the system's declaration gives them; only the
// show-window value is used.
int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int nShowCmd)
{
    // A launch that asks to stay hidden writes nothing.
    if (nShowCmd == SW_HIDE)
        return 0;

    // The C runtime's tail follows its own rules for quotes and double-byte
    // names; the report path is cut from the full command line instead.
    dump_status(command_line_tail(GetCommandLineA(), is_ansi_lead_byte));
    return 0;
}
