#pragma once
// Helpers shared by the fuzz targets: a private scratch directory and a check
// that stops the run with a message when a property of the parser fails
// (libFuzzer then saves the input as a crash).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#define FUZZ_CHECK(cond)                                                                 \
    do {                                                                                 \
        if (!(cond)) {                                                                   \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                \
        }                                                                                \
    } while (0)

// One directory per fuzzing process, in memory when /dev/shm is there, removed
// at exit. The path lives in a plain array: the exit handler runs after the
// destructors of function-local statics.
inline const char* FuzzScratchDir()
{
    static char dir[512] = {};
    if (dir[0]) return dir;
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    if (const char* tmp = std::getenv("TAVREL_FUZZ_TMP"); tmp && *tmp) base = tmp;
    std::string pattern = base + "/tavrel-fuzz-XXXXXX";
    if (pattern.size() >= sizeof dir || !::mkdtemp(pattern.data())) std::abort();
    std::memcpy(dir, pattern.c_str(), pattern.size() + 1);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    });
    return dir;
}

inline bool WriteScratchFile(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}
