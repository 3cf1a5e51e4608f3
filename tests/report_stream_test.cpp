// The report stream: text whose line feeds reach the file as CR LF.
#include "status_dump.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace
{

const char stream_file[] = "report_stream_test.txt";

std::string through_report_stream(const std::string &text)
{
    FILE *stream = open_report_stream(stream_file);
    if (stream == nullptr)
        return "<not opened>";
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fclose(stream);
    const std::string bytes = read_file(stream_file);
    std::remove(stream_file);
    return bytes;
}

TEST(ReportStream, StoresLineFeedsAsCrLf)
{
    EXPECT_EQ(through_report_stream(""), "");
    EXPECT_EQ(through_report_stream("a\nb"), "a\r\nb");
    EXPECT_EQ(through_report_stream("\n\n"), "\r\n\r\n");
    EXPECT_EQ(through_report_stream("a\rb\n"), "a\rb\r\n");
}

TEST(ReportStream, FindsLineFeedsAtEveryPlaceOfALongerText)
{
    // Line feeds first, last, between and beyond runs of eight bytes, and
    // bytes that differ from a line feed in one bit only.
    EXPECT_EQ(through_report_stream("1234567\n12345678\n"), "1234567\r\n12345678\r\n");
    EXPECT_EQ(through_report_stream("\n1234567\n\n\n\n\n\n\n\n"),
              "\r\n1234567\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
    EXPECT_EQ(through_report_stream("abcdefghijklmnop\nq"), "abcdefghijklmnop\r\nq");
    EXPECT_EQ(through_report_stream("\x8a\x0b\x08\x0e\x2a\x4a\x1a\x02\x8a\n"),
              "\x8a\x0b\x08\x0e\x2a\x4a\x1a\x02\x8a\r\n");
}

TEST(ReportStream, KeepsTextLargerThanItsBuffers)
{
    std::string text;
    std::string expected;
    for (int line = 0; line < 20000; ++line) {
        text += "Line=" + std::to_string(line) + "\n";
        expected += "Line=" + std::to_string(line) + "\r\n";
    }
    EXPECT_EQ(through_report_stream(text), expected);
}

TEST(ReportStream, TruncatesALongerFile)
{
    write_file(stream_file, std::string(5000, 'x'));
    EXPECT_EQ(through_report_stream("new\n"), "new\r\n");
}

TEST(ReportStream, FailsOnPathsThatCannotBeWritten)
{
    EXPECT_EQ(open_report_stream(""), nullptr);
    EXPECT_EQ(open_report_stream("no-such-directory/report.ini"), nullptr);
    EXPECT_EQ(open_report_stream("."), nullptr);
}

} // namespace
