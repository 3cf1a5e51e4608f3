// Whole files as bytes, for tests that compare them exactly.
#ifndef TVKDMPST_TESTS_TEST_FILES_H
#define TVKDMPST_TESTS_TEST_FILES_H

#include <cstdio>
#include <string>

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string read_file(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return "<missing>";
    std::string bytes;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

inline void write_file(const std::string &path, const std::string &bytes)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

#endif
