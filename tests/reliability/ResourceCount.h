#pragma once
// Open file descriptors and threads of this process, from /proc/self, so a
// test can check that a transfer leaves none behind.
#include <dirent.h>
#include <unistd.h>

#include <string>
#include <vector>

inline std::vector<std::string> ProcEntries(const char* dir, bool resolveLinks)
{
    std::vector<std::string> out;
    DIR* d = ::opendir(dir);
    if (!d) return out;
    const int own = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || (resolveLinks && name == std::to_string(own))) continue;
        std::string entry = name;
        if (resolveLinks) {
            char target[512];
            const ssize_t n = ::readlink((std::string(dir) + "/" + name).c_str(), target, sizeof target - 1);
            entry += " -> " + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
        }
        out.push_back(entry);
    }
    ::closedir(d);
    return out;
}

// "fd -> target" of every open descriptor (the listing's own left out).
inline std::vector<std::string> OpenDescriptors() { return ProcEntries("/proc/self/fd", true); }
inline size_t ThreadCount() { return ProcEntries("/proc/self/task", false).size(); }
