// Converts one release file into its .vle file, as the Import command does,
// without windows or settings: the conversion alone, for timing.
#include <cstdio>
#include <filesystem>

#include "app/UpdateApp.h"
#include "release/FileBase.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavrel-bench-convert RELEASE_FILE\n");
        return 2;
    }
    App().m_nVersion = 20;
    const std::string path = argv[1];
    std::unique_ptr<CFileBase> reader = CreateReader(RecogniseReleaseFile(path));
    if (!reader) {
        std::fprintf(stderr, "%s: not a release file\n", path.c_str());
        return 1;
    }
    reader->SetSource(path, nullptr);
    if (!reader->OpenRelease()) {
        std::fprintf(stderr, "%s: cannot open\n", path.c_str());
        return 1;
    }
    std::filesystem::remove(VlePathFor(path));   // always convert
    int result = reader->ConvertToVle();
    reader->Close();
    std::printf("%s -> %s: result %d\n", path.c_str(), VlePathFor(path).c_str(), result);
    return result == CONVERT_OK ? 0 : 1;
}
