// The Windows package as an administrator gets it: tvkdmpst.exe unpacked from
// the ZIP and started beside tvksvcio.dll (here the stand-in), its texts, and
// its version as the package name, the version record and the report say it.
#include "process_win32.h"
#include "report_texts.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

const std::string build_folder = folder_of_this_test();

// The package's one top folder, as unpacked by the test before this one.
std::string unpacked_folder_name()
{
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((build_folder + "\\zip-unpacked\\*").c_str(), &found);
    std::string name = "<none>";
    if (search == INVALID_HANDLE_VALUE)
        return name;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != '.')
            name = found.cFileName;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return name;
}

const std::string package_name = unpacked_folder_name();
const std::string package_folder = build_folder + "\\zip-unpacked\\" + package_name;
const std::string program = package_folder + "\\tvkdmpst.exe";

class UnpackedProgram : public testing::Test
{
  protected:
    void SetUp() override
    {
        dir = build_folder + "\\scratch-zip-" +
              testing::UnitTest::GetInstance()->current_test_info()->name();
        DeleteFileA((dir + "\\status.ini").c_str());
        RemoveDirectoryA(dir.c_str());
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
        for (const char *name : {"TVKSTUB_ADJUSTMENT", "TVKSTUB_ACCESSIBLE", "TVKSTUB_STATUS",
                                 "TVKSTUB_LOG", "TVKSTUB_PROBE"})
            SetEnvironmentVariableA(name, nullptr);
    }

    void TearDown() override
    {
        DeleteFileA((dir + "\\status.ini").c_str());
        RemoveDirectoryA(dir.c_str());
    }

    // Starts the unpacked program as "tvkdmpst status.ini", shown normally,
    // in the scratch folder, and returns the report it wrote.
    std::string report_of_one_run()
    {
        const DWORD code = launch(program, "tvkdmpst status.ini", SW_SHOWNORMAL, dir);
        if (code != 0)
            return "<exit code " + std::to_string(code) + ">";
        return read_file(dir + "\\status.ini");
    }

    std::string dir;
};

TEST_F(UnpackedProgram, WritesTheReportBesideTheServiceLibrary)
{
    struct {
        const char *adjustment;
        const char *report;
    } const cases[] = {
        {"1", REPORT_ACTIVE_UTC_UNSYNCED},
        {"0", REPORT_INACTIVE},
    };
    for (const auto &c : cases) {
        SetEnvironmentVariableA("TVKSTUB_ADJUSTMENT", c.adjustment);
        EXPECT_EQ(report_of_one_run(), c.report) << "adjustment " << c.adjustment;
    }
}

TEST_F(UnpackedProgram, VersionIsTheSameInPackageNameRecordAndReport)
{
    // No version is written here: the record's numbers are compared with the
    // others, so that none of them can be changed alone.
    DWORD handle = 0;
    std::vector<char> record(GetFileVersionInfoSizeA(program.c_str(), &handle));
    ASSERT_FALSE(record.empty());
    ASSERT_TRUE(
        GetFileVersionInfoA(program.c_str(), 0, static_cast<DWORD>(record.size()), record.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(record.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    const unsigned major = HIWORD(fixed->dwFileVersionMS), minor = LOWORD(fixed->dwFileVersionMS),
                   patch = HIWORD(fixed->dwFileVersionLS), build = LOWORD(fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

    char text[64];
    std::snprintf(text, sizeof text, "%u, %u, %u, %u", major, minor, patch, build);
    for (const char *key : {"FileVersion", "ProductVersion"}) {
        char *value = nullptr;
        const std::string query = std::string("\\StringFileInfo\\000004b0\\") + key;
        ASSERT_TRUE(VerQueryValueA(record.data(), query.c_str(), reinterpret_cast<void **>(&value),
                                   &length));
        EXPECT_EQ(std::string(value), text) << key;
    }

    std::snprintf(text, sizeof text, "tvkdmpst-%u.%u.%u-win32", major, minor, patch);
    EXPECT_EQ(package_name, text);

    std::snprintf(text, sizeof text, "\r\nAbout=Tavrenik Time Adjustment Status Dumper v%u.%u\r\n",
                  major, minor);
    const std::string report = report_of_one_run();
    EXPECT_NE(report.find(text), std::string::npos) << report;
}

// README.txt and the licence, read in Notepad: CR LF at every line end and
// 7-bit ASCII throughout.
TEST(PackageTexts, AreAsciiWithCrLfLineEnds)
{
    for (const char *name : {"README.txt", "LICENSE.txt"}) {
        const std::string text = read_file(package_folder + "\\" + name);
        ASSERT_GT(text.size(), 2u) << name;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << name;
        for (size_t i = 0; i < text.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            ASSERT_LT(c, 0x80u) << name << " at " << i;
            const bool bare_lf = c == '\n' && (i == 0 || text[i - 1] != '\r');
            const bool bare_cr = c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n');
            ASSERT_FALSE(bare_lf || bare_cr) << name << ": line end at " << i;
        }
    }
}

TEST(PackageTexts, ReadmeTellsWhereTheProgramGoesHowToRunItAndWhatItWrites)
{
    const std::string readme = read_file(package_folder + "\\README.txt");
    for (const char *needed :
         {"tvksvcio.dll", "tvkdmpst.exe C:\\Temp\\status.ini",
          "start \"\" /wait tvkdmpst.exe C:\\Temp\\status.ini",
          "Start-Process -Wait -FilePath .\\tvkdmpst.exe -ArgumentList 'C:\\Temp\\status.ini'",
          "type C:\\Temp\\status.ini", "Get-Content C:\\Temp\\status.ini", "Unblock-File",
          "Exit code", "[Info]", "[Output]"})
        EXPECT_NE(readme.find(needed), std::string::npos) << needed;
    for (const char *key : report_keys)
        EXPECT_NE(readme.find(key), std::string::npos) << key;
}

} // namespace
