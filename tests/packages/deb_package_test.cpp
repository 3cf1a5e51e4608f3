// The Debian package as a user gets it: its files and control fields, and the
// program installed from it into a scratch root, run on the real library.
#include "process_posix.h"
#include "report_texts.h"
#include "scratch_posix.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace
{

const std::string package = TVKDMPST_DEB_PACKAGE;
const std::string multiarch_lib = "/usr/lib/x86_64-linux-gnu";

// What the shell command printed on its standard output.
std::string output_of(const std::string &command)
{
    std::string text;
    std::FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "<failed to start>";
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, got);
    if (pclose(pipe) != 0)
        text += "<exit status not 0>";
    return text;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string field(const std::string &name)
{
    std::string value = output_of("dpkg-deb -f '" + package + "' " + name);
    if (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}

// The dynamic section entries of an ELF file of one kind, e.g. "NEEDED",
// each as the name in brackets that readelf shows.
std::vector<std::string> dynamic_entries(const std::string &file, const std::string &kind)
{
    std::vector<std::string> entries;
    const std::regex entry("\\(" + kind + "\\)[^\\[]*\\[([^\\]]*)\\]");
    for (const std::string &line : lines_of(output_of("readelf -d '" + file + "'"))) {
        std::smatch match;
        if (std::regex_search(line, match, entry))
            entries.push_back(match[1]);
    }
    return entries;
}

// The package unpacked with dpkg -x into a scratch root, as dpkg would
// install it, for each test.
class DebPackage : public ScratchFolderTest
{
  protected:
    void SetUp() override
    {
        ScratchFolderTest::SetUp();
        root = scratch;
        ASSERT_EQ(output_of("dpkg -x '" + package + "' '" + root + "/root'"), "");
        work = root + "/work";
        ASSERT_EQ(mkdir(work.c_str(), 0700), 0);
    }

    // Runs the installed program with args in the work folder, its library
    // found through LD_LIBRARY_PATH at the scratch root's library folder, and
    // returns its exit code; what it printed goes to printed.
    int run_installed(const std::vector<std::string> &args, std::string &printed)
    {
        const std::string program = root + "/root/usr/bin/tvkdmpst";
        const std::string library_path = "LD_LIBRARY_PATH=" + root + "/root" + multiarch_lib;
        const Outcome outcome =
            run_process(program, args, {library_path}, work, root + "/output.txt");
        printed = outcome.output;
        return outcome.exit_code;
    }

    std::string root;
    std::string work;
};

TEST_F(DebPackage, HoldsExactlyTheProgramTheLibraryAndTheirDocuments)
{
    // Type, rights, owner and path as dpkg-deb lists them, without size and date.
    const std::string expected =
        "drwxr-xr-x root/root ./usr/\n"
        "drwxr-xr-x root/root ./usr/bin/\n"
        "-rwxr-xr-x root/root ./usr/bin/tvkdmpst\n"
        "drwxr-xr-x root/root ./usr/lib/\n"
        "drwxr-xr-x root/root ./usr/lib/x86_64-linux-gnu/\n"
        "lrwxrwxrwx root/root ./usr/lib/x86_64-linux-gnu/libtvksvcio.so.1"
        " -> libtvksvcio.so.1.1.0\n"
        "-rw-r--r-- root/root ./usr/lib/x86_64-linux-gnu/libtvksvcio.so.1.1.0\n"
        "drwxr-xr-x root/root ./usr/share/\n"
        "drwxr-xr-x root/root ./usr/share/doc/\n"
        "drwxr-xr-x root/root ./usr/share/doc/tvkdmpst/\n"
        "-rw-r--r-- root/root ./usr/share/doc/tvkdmpst/changelog.gz\n"
        "-rw-r--r-- root/root ./usr/share/doc/tvkdmpst/copyright\n"
        "drwxr-xr-x root/root ./usr/share/lintian/\n"
        "drwxr-xr-x root/root ./usr/share/lintian/overrides/\n"
        "-rw-r--r-- root/root ./usr/share/lintian/overrides/tvkdmpst\n"
        "drwxr-xr-x root/root ./usr/share/man/\n"
        "drwxr-xr-x root/root ./usr/share/man/man1/\n"
        "-rw-r--r-- root/root ./usr/share/man/man1/tvkdmpst.1.gz\n";
    std::string listed;
    const std::regex entry("^(\\S+) +(\\S+) +\\S+ +\\S+ +\\S+ +(.*)$");
    for (const std::string &line : lines_of(output_of("dpkg-deb -c '" + package + "'"))) {
        std::smatch match;
        listed += std::regex_match(line, match, entry)
                      ? match[1].str() + " " + match[2].str() + " " + match[3].str() + "\n"
                      : "<unread> " + line + "\n";
    }
    EXPECT_EQ(listed, expected);
}

TEST_F(DebPackage, ControlDeclaresNameVersionDependenciesAndTheLibrary)
{
    EXPECT_EQ(field("Package"), "tvkdmpst");
    EXPECT_EQ(field("Version"), "1.1.0");
    EXPECT_EQ(field("Architecture"), "amd64");
    // Linked statically against the C++ runtime, the binaries need only libc.
    EXPECT_TRUE(std::regex_match(field("Depends"), std::regex("libc6 \\(>= 2\\.[0-9]+\\)")))
        << field("Depends");
    EXPECT_NE(field("Maintainer"), "");
    EXPECT_NE(field("Description"), "");

    // Others' packages may depend on the library by its SONAME, and dpkg
    // updates the loader's cache when it comes or goes.
    EXPECT_EQ(output_of("dpkg-deb -I '" + package + "' shlibs"),
              "libtvksvcio 1 tvkdmpst (>= 1.1.0)\n");
    EXPECT_EQ(output_of("dpkg-deb -I '" + package + "' triggers"), "activate-noawait ldconfig\n");
}

TEST_F(DebPackage, ProgramBindsTheLibraryBySonameWithoutRunpath)
{
    const std::string program = root + "/root/usr/bin/tvkdmpst";
    const std::string library = root + "/root" + multiarch_lib + "/libtvksvcio.so.1";
    EXPECT_EQ(dynamic_entries(program, "NEEDED"),
              (std::vector<std::string>{"libtvksvcio.so.1", "libc.so.6"}));
    EXPECT_EQ(dynamic_entries(program, "RUNPATH"), std::vector<std::string>{});
    EXPECT_EQ(dynamic_entries(program, "RPATH"), std::vector<std::string>{});
    EXPECT_EQ(dynamic_entries(library, "SONAME"), std::vector<std::string>{"libtvksvcio.so.1"});
}

TEST_F(DebPackage, BinariesAreHardenedAndNameNoCompiler)
{
    // Debian's hardening flags leave out control-flow protection on this
    // release, so hardening-check is not asked for it.
    for (const std::string &binary :
         {root + "/root/usr/bin/tvkdmpst", root + "/root" + multiarch_lib + "/libtvksvcio.so.1"}) {
        EXPECT_EQ(output_of("hardening-check --nocfprotection --quiet '" + binary + "' 2>&1"), "")
            << binary;
        EXPECT_EQ(output_of("readelf -S -W '" + binary + "'").find(" .comment "), std::string::npos)
            << binary;
    }
}

TEST_F(DebPackage, InstalledProgramWritesTheReport)
{
    std::string printed;
    ASSERT_EQ(run_installed({work + "/status.ini"}, printed), 0);
    EXPECT_EQ(printed, "");
    const std::string report = read_file(work + "/status.ini");

    // The library answers from this machine's clock, so only the head is
    // fixed; each item line holds its key and a value of the allowed form.
    ASSERT_EQ(report.compare(0, sizeof REPORT_HEAD - 1, REPORT_HEAD), 0) << report;
    std::string rest = report.substr(sizeof REPORT_HEAD - 1);
    std::vector<std::string> values;
    for (const char *key : report_keys) {
        const std::string start = std::string(key) + "=";
        const size_t end = rest.find("\r\n");
        ASSERT_NE(end, std::string::npos) << report;
        const std::string line = rest.substr(0, end);
        ASSERT_EQ(line.compare(0, start.size(), start), 0) << line;
        values.push_back(line.substr(start.size()));
        rest.erase(0, end + 2);
    }
    EXPECT_EQ(rest, "\r\n"); // line 15, empty, and nothing after it

    const std::regex number("-?[1-9][0-9]*|0");
    ASSERT_TRUE(std::regex_match(values[0], number)) << report;
    const bool active = std::atoi(values[0].c_str()) > 0;
    EXPECT_EQ(values[1].empty(), !active) << report;
    if (active) {
        EXPECT_TRUE(values[1] == "0" || values[1] == "1") << report;
    }
    const bool shown = values[1] == "1";
    for (size_t i = 2; i < values.size(); ++i) {
        const std::string allowed = shown ? "0|1" : "";
        EXPECT_TRUE(std::regex_match(values[i], std::regex(allowed))) << report_keys[i] << "\n"
                                                                      << report;
    }
    if (shown) {
        EXPECT_EQ(values[6], "1") << report; // the kernel clock keeps UTC
        EXPECT_EQ(values[8], "0") << report; // nothing on the machine can tell
    }
}

TEST_F(DebPackage, VersionIsTheSameInPackageReportManualAndChangelog)
{
    // No version is written here: the package's own is compared with the
    // others, so that none of them can be changed alone.
    const std::string version = field("Version");
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(version, parts, std::regex("([0-9]+)\\.([0-9]+)\\.[0-9]+")));
    const std::string short_version = "v" + parts[1].str() + "." + parts[2].str();

    std::string printed;
    ASSERT_EQ(run_installed({"status.ini"}, printed), 0);
    const std::vector<std::string> report = lines_of(read_file(work + "/status.ini"));
    ASSERT_GE(report.size(), 2u);
    EXPECT_EQ(report[1], "About=Tavrenik Time Adjustment Status Dumper " + short_version + "\r");

    const std::string manual =
        output_of("gzip -dc '" + root + "/root/usr/share/man/man1/tvkdmpst.1.gz'");
    const std::string title = lines_of(manual).at(0);
    EXPECT_EQ(title.rfind(".TH TVKDMPST 1 ", 0), 0u) << title;
    EXPECT_NE(title.find(" \"tvkdmpst " + version + "\" "), std::string::npos) << title;
    EXPECT_NE(manual.find("About=Tavrenik Time Adjustment Status Dumper " + short_version + "\n"),
              std::string::npos);

    const std::string changelog =
        output_of("gzip -dc '" + root + "/root/usr/share/doc/tvkdmpst/changelog.gz'");
    EXPECT_EQ(lines_of(changelog).at(0).rfind("tvkdmpst (" + version + ") ", 0), 0u) << changelog;
}

} // namespace
