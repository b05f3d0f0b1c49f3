#pragma once
// File and path helpers of the model: bounded whole-file reading, safe
// writing, and the path pieces that requests and environments need.
#include <cstdint>
#include <string>
#include <vector>

// Largest .def or .sfl file that is read; anything larger is refused as damaged.
inline constexpr size_t MODEL_MAX_FILE_BYTES = 16u * 1024u * 1024u;

// Caption of the model's warning boxes: 0 = the program's own title.
inline constexpr int MODEL_CAPTION_PROGRAM = 0;

enum class FileReadResult { Ok, CannotOpen, TooLarge };
FileReadResult ReadModelFile(const std::string& path, std::vector<uint8_t>& bytes);
// Writes the whole file (created or truncated); false when it cannot be written.
bool WriteModelFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Absolute form of `path` (unchanged when it cannot be resolved).
std::string AbsolutePath(const std::string& path);
// `dir` with one '/' at its end (empty stays empty).
std::string DirectoryWithSlash(const std::string& dir);
// Absolute directory of `path`, up to and including its last separator.
std::string DirectoryOfPath(const std::string& path);
// The part after the last '/' or '\\'; "." and ".." give an empty name.
std::string FileNamePart(const std::string& path);
