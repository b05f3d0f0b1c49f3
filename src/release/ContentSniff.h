#pragma once
// What a file is, from its first bytes, and what its name says it is: a file
// named as one release format but holding another, and text or an archive,
// are told apart from a raw memory image before anything is converted.
#include <string>
#include <vector>

enum ContentKind {
    CONTENT_UNREADABLE,   // no regular file, or it cannot be read
    CONTENT_EMPTY,
    CONTENT_SRECORD,
    CONTENT_INTEL_HEX,
    CONTENT_ELF,
    CONTENT_IEEE695,
    CONTENT_ABSOLUTE,
    CONTENT_TEXT,
    CONTENT_ZIP,
    CONTENT_GZIP,
    CONTENT_XZ,
    CONTENT_BZIP2,
    CONTENT_ZSTD,
    CONTENT_7Z,
    CONTENT_TAR,
    CONTENT_BINARY,       // none of the above: can be a raw image
};

// The kind of the file's content. Release formats are told by their
// readers' own recognition; archives and compressed files by their magic
// numbers; text by the absence of control bytes in the first 4 KiB.
ContentKind SniffContent(const std::string& path);

// For people: "text", "a zip archive", "S-records"...
const char* ContentKindName(ContentKind kind);

// True for the kinds that are never loaded as a raw image.
bool IsTextOrArchive(ContentKind kind);

// The release format a file name's extension stands for (".elf", ".s19",
// ".hex"...), as the reader code of that format (ReleaseType or
// ReleaseReader); -1 when the name says no release format (".bin" and
// ".img" name raw images, which any binary content is).
int ReaderNamedBy(const std::string& path);

// True when the content recognised as `reader` is what a file named as
// `named` may hold (".hex" is used for Intel HEX and for S-records alike).
bool NameAllows(int named, int reader);

// The result of recognising a release file.
struct ReleaseRecognition {
    int type = -1;           // reader code, -1 refused, -2 no such file
    ContentKind content = CONTENT_UNREADABLE;
    std::string refusal;     // why a file was refused, for people; empty otherwise
};

// Recognises a release file: the readers' recognition of its content, held
// against what its name says; text and archives are refused, and any other
// content no reader takes is a raw image. `forceRaw` takes any non-empty
// file as a raw image.
ReleaseRecognition RecogniseRelease(const std::string& path, bool forceRaw = false);

// The other release files beside one whose .vle path is the same (notes.s19
// and notes.mot both give notes.vle), by name, sorted; files that are no
// release (text, archives, the program's own .sfl, .def, .ini...) do not count. Such a .vle file may hold either's data.
std::vector<std::string> ReleasesSharingVle(const std::string& releasePath);
