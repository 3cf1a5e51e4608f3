// The real tvkdmpst.exe started as Windows starts it: an exact raw command
// line and show-window value, the stand-in tvksvcio.dll beside it.
#include "process_win32.h"
#include "report_texts.h"
#include "stub_log.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <ostream>
#include <string>

namespace
{

const std::string build_folder = folder_of_this_test();
const std::string program = build_folder + "\\tvkdmpst.exe";

// Every "{exe}" in text becomes the program's full path, every "{dir}" the
// scratch folder's.
std::string expand(std::string text, const std::string &dir)
{
    for (const auto &[token, value] : {std::pair<std::string, std::string>{"{exe}", program},
                                       std::pair<std::string, std::string>{"{dir}", dir}}) {
        for (size_t at; (at = text.find(token)) != std::string::npos;)
            text.replace(at, token.size(), value);
    }
    return text;
}

// The files of a folder and their bytes; sub-folders as "<folder>".
std::map<std::string, std::string> folder_content(const std::string &dir)
{
    std::map<std::string, std::string> files;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        files[name] = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                          ? "<folder>"
                          : read_file(dir + "\\" + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

void remove_folder(const std::string &dir)
{
    for (const auto &[name, bytes] : folder_content(dir)) {
        if (bytes == "<folder>")
            remove_folder(dir + "\\" + name);
        else
            DeleteFileA((dir + "\\" + name).c_str());
    }
    RemoveDirectoryA(dir.c_str());
}

class Program : public testing::Test
{
  protected:
    void SetUp() override
    {
        const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
        dir = build_folder + "\\scratch-" + test->name();
        for (char &c : dir)
            c = c == '/' ? '-' : c;
        remove_folder(dir);
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
        log = build_folder + "\\calls.log";
        DeleteFileA(log.c_str());
        SetEnvironmentVariableA("TVKSTUB_LOG", log.c_str());
        for (const char *name :
             {"TVKSTUB_ADJUSTMENT", "TVKSTUB_ACCESSIBLE", "TVKSTUB_STATUS", "TVKSTUB_PROBE"})
            SetEnvironmentVariableA(name, nullptr);
    }

    void TearDown() override
    {
        remove_folder(dir);
        DeleteFileA(log.c_str());
    }

    // Starts the program with this exact command line in the scratch folder
    // and returns its exit code.
    DWORD launch(const std::string &command_line, int show, const std::string &exe = program)
    {
        return ::launch(exe, command_line, show, dir);
    }

    std::string dir;
    std::string log;
};

struct Launch {
    const char *name;
    const char *command_line;
    int show;
    // The scratch folder before and after the run, as name and bytes.
    std::map<std::string, std::string> before;
    std::map<std::string, std::string> after;
    const char *calls;
};

void PrintTo(const Launch &launch, std::ostream *out)
{
    *out << launch.name;
}

const std::string report = REPORT_ACTIVE_UTC_UNSYNCED;
const std::string old = "[Info]\r\nAbout=an older report\r\n";

const Launch launches[] = {
    {"PlainPath",
     "tvkdmpst {dir}\\status.ini",
     SW_SHOWNORMAL,
     {},
     {{"status.ini", report}},
     all_calls},
    {"RelativePath", "tvkdmpst status.ini", SW_SHOWNORMAL, {}, {{"status.ini", report}}, all_calls},
    {"QuotedProgramName",
     "\"{exe}\" status.ini",
     SW_SHOWNORMAL,
     {},
     {{"status.ini", report}},
     all_calls},
    {"PathRightAfterQuotedName",
     "\"{exe}\"x.ini",
     SW_SHOWNORMAL,
     {},
     {{"x.ini", report}},
     all_calls},
    {"TabBeforePath",
     "tvkdmpst\tstatus.ini",
     SW_SHOWNORMAL,
     {},
     {{"status.ini", report}},
     all_calls},
    {"ControlBytesBeforePath",
     "tvkdmpst \x01\x1f\t status.ini",
     SW_SHOWNORMAL,
     {},
     {{"status.ini", report}},
     all_calls},
    {"HighBytesInPath",
     "tvkdmpst st\xe4tus.ini",
     SW_SHOWNORMAL,
     {},
     {{"st\xe4tus.ini", report}},
     all_calls},
    {"HiddenWritesNothing",
     "tvkdmpst status.ini",
     SW_HIDE,
     {{"status.ini", old}},
     {{"status.ini", old}},
     ""},
    {"Minimised", "tvkdmpst status.ini", SW_SHOWMINIMIZED, {}, {{"status.ini", report}}, all_calls},
    {"MinimisedInactive",
     "tvkdmpst status.ini",
     SW_SHOWMINNOACTIVE,
     {},
     {{"status.ini", report}},
     all_calls},
    {"NoShowValue", "tvkdmpst status.ini", no_show_value, {}, {{"status.ini", report}}, all_calls},
    {"QuotedPathIsRejected", "tvkdmpst \"status.ini\"", SW_SHOWNORMAL, {}, {}, ""},
    {"NoPath", "tvkdmpst", SW_SHOWNORMAL, {}, {}, ""},
    {"BlanksOnlyAfterName", "tvkdmpst   ", SW_SHOWNORMAL, {}, {}, ""},
    {"MissingFolder", "tvkdmpst missing\\status.ini", SW_SHOWNORMAL, {}, {}, ""},
    {"LongerFileTruncated",
     "tvkdmpst status.ini",
     SW_SHOWNORMAL,
     {{"status.ini", std::string(3000, 'x') + "\r\n"}},
     {{"status.ini", report}},
     all_calls},
};

class Launches : public Program, public testing::WithParamInterface<Launch>
{
};

TEST_P(Launches, ExitZeroAndLeaveTheExpectedFiles)
{
    const Launch &c = GetParam();
    for (const auto &[name, bytes] : c.before) {
        if (bytes == "<folder>")
            CreateDirectoryA((dir + "\\" + name).c_str(), nullptr);
        else
            write_file(dir + "\\" + name, bytes);
    }

    EXPECT_EQ(launch(expand(c.command_line, dir), c.show), 0u);
    EXPECT_EQ(folder_content(dir), c.after);
    EXPECT_EQ(logged_calls(log), c.calls);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, Launches, testing::ValuesIn(launches),
                         [](const testing::TestParamInfo<Launch> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(Program, ReportInAFolderWithABlank)
{
    CreateDirectoryA((dir + "\\My Files").c_str(), nullptr);
    EXPECT_EQ(launch(expand("tvkdmpst {dir}\\My Files\\status.ini", dir), SW_SHOWNORMAL), 0u);
    EXPECT_EQ(read_file(dir + "\\My Files\\status.ini"), report);
}

std::string profile_value(const std::string &file, const char *section, const char *key)
{
    char value[256];
    const DWORD length =
        GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value, file.c_str());
    return std::string(value, length);
}

TEST_F(Program, WindowsIniReaderSeesEveryKey)
{
    SetEnvironmentVariableA("TVKSTUB_STATUS", "0x94");
    ASSERT_EQ(launch("tvkdmpst status.ini", SW_SHOWNORMAL), 0u);
    const std::string file = dir + "\\status.ini";

    EXPECT_EQ(profile_value(file, "Info", "About"), "Tavrenik Time Adjustment Status Dumper v1.1");
    const std::pair<const char *, const char *> output[] = {
        {"SvcTimeAdjustmentActive", "1"},
        {"SvcRefTimeAccessible", "1"},
        {"RefTimeNotSynchronized", "0"},
        {"RefDaylightSavingEnabled", "0"},
        {"RefSyncAfterReset", "1"},
        {"RefDaylightChangeAnnounced", "0"},
        {"RefIsUtc", "1"},
        {"RefLeapSecondAnnounced", "0"},
        {"RefTimeSetManually", "0"},
        {"RefTimeInvalid", "1"},
    };
    for (const auto &[key, value] : output)
        EXPECT_EQ(profile_value(file, "Output", key), value) << key;
}

TEST_F(Program, WindowsIniReaderSeesEmptyValuesWhenInactive)
{
    SetEnvironmentVariableA("TVKSTUB_ADJUSTMENT", "-1");
    ASSERT_EQ(launch("tvkdmpst status.ini", SW_SHOWNORMAL), 0u);
    const std::string file = dir + "\\status.ini";

    EXPECT_EQ(profile_value(file, "Output", "SvcTimeAdjustmentActive"), "-1");
    EXPECT_EQ(profile_value(file, "Output", "SvcRefTimeAccessible"), "");
    EXPECT_EQ(profile_value(file, "Output", "RefIsUtc"), "");
}

TEST_F(Program, OthersMayReadAndWriteTheFileWhileItIsOpen)
{
    // The library's status call comes while the program holds the report
    // open; the stand-in then opens it as another program would.
    SetEnvironmentVariableA("TVKSTUB_PROBE", (dir + "\\status.ini").c_str());
    ASSERT_EQ(launch("tvkdmpst status.ini", SW_SHOWNORMAL), 0u);
    EXPECT_EQ(logged_calls(log), "tvk_time_adjustment_active\n"
                                 "tvk_ref_time_accessible\n"
                                 "tvk_get_ref_time_status\n"
                                 "probe-open ok\n");
    EXPECT_EQ(read_file(dir + "\\status.ini"), report);
}

TEST_F(Program, DoesNotStartWithoutTheLibrary)
{
    // A copy of the program in a folder without tvksvcio.dll.
    const std::string alone = dir + "\\tvkdmpst.exe";
    ASSERT_TRUE(CopyFileA(program.c_str(), alone.c_str(), FALSE));
    write_file(dir + "\\status.ini", old);

    const DWORD code = launch("tvkdmpst status.ini", SW_SHOWNORMAL, alone);
    EXPECT_NE(code, 0u);
    EXPECT_NE(code, not_started);
    EXPECT_EQ(read_file(dir + "\\status.ini"), old);
    EXPECT_EQ(logged_calls(log), "");
}

// The application manifest, resource 1 of type RT_MANIFEST, as Windows reads
// it when it starts the program.
TEST(Manifest, RunsAsInvokerOnEveryWindowsFromVistaOn)
{
    const HMODULE image = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    const HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const HGLOBAL loaded = LoadResource(image, found);
    ASSERT_NE(loaded, nullptr);
    const std::string manifest(static_cast<const char *>(LockResource(loaded)),
                               SizeofResource(image, found));
    FreeLibrary(image);

    // The one requested level, whatever the order of its attributes.
    const size_t level = manifest.find("<requestedExecutionLevel ");
    ASSERT_NE(level, std::string::npos) << manifest;
    EXPECT_EQ(manifest.find("<requestedExecutionLevel ", level + 1), std::string::npos);
    const std::string element = manifest.substr(level, manifest.find("/>", level) - level);
    EXPECT_NE(element.find(" level=\"asInvoker\""), std::string::npos) << element;
    EXPECT_NE(element.find(" uiAccess=\"false\""), std::string::npos) << element;
    // Every supportedOS entry, in order: Vista, 7, 8, 8.1, 10 and 11.
    std::string supported;
    const std::string entry = "<supportedOS Id=\"";
    for (size_t at = manifest.find(entry); at != std::string::npos;
         at = manifest.find(entry, at + 1))
        supported += manifest.substr(at + entry.size(), 38) + "\n";
    EXPECT_EQ(supported, "{e2011457-1546-43c5-a5fe-008deee3d3f0}\n"
                         "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\n"
                         "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\n"
                         "{1f676c76-80e1-4239-95bb-83d0f6d0da78}\n"
                         "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\n");
}

// The version record as the Windows version API reads it.
class VersionRecord : public testing::Test
{
  protected:
    void SetUp() override
    {
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeA(program.c_str(), &handle);
        ASSERT_GT(size, 0u);
        record.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(program.c_str(), 0, size, record.data()));
    }

    std::string string_value(const std::string &key)
    {
        void *value = nullptr;
        UINT length = 0;
        const std::string query = "\\StringFileInfo\\000004b0\\" + key;
        if (!VerQueryValueA(record.data(), query.c_str(), &value, &length))
            return "<absent>";
        return length == 0 ? "" : std::string(static_cast<const char *>(value));
    }

    std::vector<char> record;
};

TEST_F(VersionRecord, FixedFields)
{
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(record.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    ASSERT_GE(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x40004u);
    EXPECT_EQ(fixed->dwFileType, 1u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
}

TEST_F(VersionRecord, TranslationIsNeutralUnicode)
{
    WORD *translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(record.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void **>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0000);
    EXPECT_EQ(translation[1], 0x04B0);
}

TEST_F(VersionRecord, Strings)
{
    const std::pair<const char *, const char *> strings[] = {
        {"Comments", ""},
        {"FileDescription", "Tavrenik Service Status Dumper"},
        {"FileVersion", "1, 1, 0, 0"},
        {"InternalName", "tvkdmpst"},
        {"LegalTrademarks", ""},
        {"OriginalFilename", "tvkdmpst.exe"},
        {"PrivateBuild", ""},
        {"ProductName", "Tavrenik Service Status Dumper"},
        {"ProductVersion", "1, 1, 0, 0"},
        {"SpecialBuild", ""},
    };
    for (const auto &[key, value] : strings)
        EXPECT_EQ(string_value(key), value) << key;
    EXPECT_NE(string_value("CompanyName"), "");
    EXPECT_NE(string_value("CompanyName"), "<absent>");
    EXPECT_NE(string_value("LegalCopyright"), "");
    EXPECT_NE(string_value("LegalCopyright"), "<absent>");
}

TEST_F(VersionRecord, ResourceLanguageIsGerman)
{
    const HMODULE image = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    EXPECT_NE(FindResourceExA(image, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1),
                              MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)),
              nullptr);
    FreeLibrary(image);
}

} // namespace
