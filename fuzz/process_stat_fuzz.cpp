// Fuzzes the reading of a /proc/<pid>/stat text: any process may name itself
// as it likes, blanks and parentheses included. Whatever the bytes, the
// parse reads none beyond them and a name it accepts is a terminated string
// of at most 15 bytes.
#include "process_scan.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly the input's size, so that a read past it is caught.
    const std::vector<char> text(data, data + size);
    process_stat stat;
    if (parse_process_stat(text.data(), text.size(), &stat) &&
        strnlen(stat.name, sizeof stat.name) >= sizeof stat.name)
        abort();
    return 0;
}
