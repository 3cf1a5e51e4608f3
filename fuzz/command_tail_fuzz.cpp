// Fuzzes the command-line tail: whatever the line and whichever bytes the
// code page takes for lead bytes, the report path is a suffix of the line
// that no blank or control byte begins, and nothing past the line's
// terminating zero is read.
//
// Input: the first byte picks the lead bytes, bit n making the 32 byte values
// from n * 32 on lead bytes; the rest, up to a zero byte if there is one, is
// the command line.
#include "command_tail.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

unsigned lead_byte_blocks;

int is_fuzzed_lead_byte(unsigned char byte)
{
    return (lead_byte_blocks >> (byte / 32)) & 1u;
}

bool skipped(unsigned char byte)
{
    return byte >= 0x01 && byte <= 0x20;
}

void check(bool holds, const char *what)
{
    if (holds)
        return;
    std::fprintf(stderr, "command_line_tail: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    lead_byte_blocks = data[0];
    const uint8_t *text = data + 1;
    const size_t text_size = size - 1;
    const void *zero = std::memchr(text, 0, text_size);
    const size_t length = zero != nullptr
                              ? static_cast<size_t>(static_cast<const uint8_t *>(zero) - text)
                              : text_size;

    // Exactly the line and its zero on the heap, so that AddressSanitizer
    // stops any read beyond them.
    char *line = static_cast<char *>(std::malloc(length + 1));
    std::memcpy(line, text, length);
    line[length] = '\0';

    const char *tail = command_line_tail(line, is_fuzzed_lead_byte);

    // A suffix of the line: a place within it, up to its terminating zero.
    check(tail >= line && tail <= line + length, "the tail is not a suffix of the line");
    const size_t start = static_cast<size_t>(tail - line);
    const auto *bytes = reinterpret_cast<const unsigned char *>(line);
    check(!skipped(bytes[start]), "the tail starts with a blank or control byte");

    // Before the tail: the program's name, then only skipped bytes.
    size_t name_end = start;
    while (name_end > 0 && skipped(bytes[name_end - 1]))
        --name_end;
    if (bytes[0] != '"') {
        // An unquoted name is every byte above 0x20 up to the first that is not.
        for (size_t i = 0; i < name_end; ++i)
            check(bytes[i] > 0x20, "a blank or control byte inside the unquoted name");
        check(name_end == length || bytes[name_end] <= 0x20, "the unquoted name ends early");
    } else if (start < length) {
        // A quoted name with a path behind it ends with its closing quote.
        check(name_end >= 2 && bytes[name_end - 1] == '"', "no closing quote before the tail");
    }

    std::free(line);
    return 0;
}
