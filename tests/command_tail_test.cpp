// The report path cut from full command lines.
#include "command_tail.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

namespace
{

// Lead bytes of code page 932 (Shift JIS).
int is_cp932_lead_byte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

struct TailCase {
    const char *name;
    const char *command_line;
    const char *path;
};

// Names a case in test output by its name alone.
void PrintTo(const TailCase &c, std::ostream *out)
{
    *out << c.name;
}

const TailCase tail_cases[] = {
    {"PlainPath", "tvkdmpst C:\\Temp\\status.ini", "C:\\Temp\\status.ini"},
    {"InnerBlankStays", "tvkdmpst C:\\My Files\\status.ini", "C:\\My Files\\status.ini"},
    {"TrailingBlanksStay", "tvkdmpst status.ini  ", "status.ini  "},
    {"QuotedNameWithBlank", "\"C:\\Program Files\\tvkdmpst.exe\" status.ini", "status.ini"},
    {"PathRightAfterClosingQuote", "\"C:\\dir\\tvkdmpst.exe\"x.ini", "x.ini"},
    {"EmptyQuotedName", "\"\" status.ini", "status.ini"},
    {"UnclosedQuotedName", "\"C:\\dir\\tvkdmpst.exe status.ini", ""},
    {"QuotedPathKeepsQuotes", "tvkdmpst \"C:\\Temp\\status.ini\"", "\"C:\\Temp\\status.ini\""},
    {"TabSeparates", "tvkdmpst\tstatus.ini", "status.ini"},
    {"ControlBytesSkipped", "tvkdmpst \x01\x1f\t \x7fstatus.ini", "\x7fstatus.ini"},
    {"ControlByteEndsName", "tvkdmpst\x01status.ini", "status.ini"},
    {"HighBytesBelongToName",
     "tvk\x80\xff\xa0"
     "dmpst x.ini",
     "x.ini"},
    {"OptionLikePathVerbatim", "tvkdmpst -h /x", "-h /x"},
    {"LeadByteCarriesQuote", "\"C:\\\x83\"\\tvkdmpst.exe\" x.ini", "x.ini"},
    {"SingleByteDoesNotCarryQuote", "\"C:\\\xa0\"x.ini y", "x.ini y"},
    {"LeadByteAtEndOfLine", "\"tvk\x83", ""},
    {"LeadByteAloneAfterQuote", "\"\x83", ""},
    {"NameOnly", "tvkdmpst", ""},
    {"NameAndBlanks", "tvkdmpst \t ", ""},
    {"EmptyLine", "", ""},
    {"BlanksOnly", "   ", ""},
    {"LeadingBlankMeansEmptyName", " tvkdmpst x.ini", "tvkdmpst x.ini"},
};

class CommandTail : public testing::TestWithParam<TailCase>
{
};

TEST_P(CommandTail, IsTheVerbatimRestOfTheLine)
{
    const TailCase &c = GetParam();
    const char *tail = command_line_tail(c.command_line, is_cp932_lead_byte);

    EXPECT_EQ(std::string(tail), c.path);
    // The path is the end of the line itself, not a copy.
    EXPECT_EQ(tail, c.command_line + std::strlen(c.command_line) - std::strlen(c.path));
}

INSTANTIATE_TEST_SUITE_P(CommandLines, CommandTail, testing::ValuesIn(tail_cases),
                         [](const testing::TestParamInfo<TailCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
