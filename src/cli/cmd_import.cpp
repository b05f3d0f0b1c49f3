// tavrel-cli import FILE [--progress]: converts a release file into its .vle file.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <unistd.h>

#include "app/Host.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/CliRelease.h"
#include "release/Import.h"

namespace {

constexpr int CAPTION_IMPORT = 143;

// The conversion percentage on one terminal line of stderr.
class CTerminalProgress : public CProgressIndicator {
public:
    void SetPos(int percent) override
    {
        std::fprintf(stderr, "\rConverting... %3d%%", percent);
        std::fflush(stderr);
        m_bShown = true;
    }
    void EndLine()
    {
        if (m_bShown)
            std::fputc('\n', stderr);
        m_bShown = false;
    }

private:
    bool m_bShown = false;
};

// What the release was read as and what it holds.
void PrintContents(const ImportOutcome& out)
{
    const VleContents contents = ReadVleContents(out.vlePath);
    std::cout << "format  " << out.format << "\n"
              << "ranges  " << RangesText(contents.ranges) << "\n"
              << "bytes   " << contents.bytes << "\n"
              << "packed  " << (out.packed ? "yes" : "no") << "\n";
}

int RunImport(CliArgs& args)
{
    bool wantProgress = args.Flag("progress");
    const bool forceRaw = args.Flag("raw");
    // For this conversion only; the setting itself is left as it is.
    if (args.Flag("pack"))
        App().m_bPackRecords = true;
    std::vector<std::string> files;
    std::string error;
    if (!args.Positionals(files, error))
        return CliUsageError(error);
    if (files.size() != 1)
        return CliUsageError("import needs exactly one FILE");

    CTerminalProgress progress;
    bool showProgress = wantProgress && ::isatty(STDERR_FILENO);
    ImportOutcome out = ImportReleasePath(files[0], showProgress ? &progress : nullptr, false, forceRaw);
    progress.EndLine();
    if (out.code == IMPORT_NO_FILE) {
        std::cerr << "tavrel-cli: " << files[0] << ": no such file\n";
        return 1;
    }
    ShowMessage(out.message, CAPTION_IMPORT, MB_OK_ONLY, out.success ? ICON_INFORMATION : ICON_STOP);
    if (!out.success) {
        std::error_code ec;
        std::string why = !out.problem.empty()                               ? out.problem
                          : std::filesystem::file_size(files[0], ec) == 0 && !ec ? "the file is empty"
                                                                                 : std::string();
        if (out.code == IMPORT_UNKNOWN_FORMAT && !forceRaw && why != "the file is empty" && !why.empty())
            why += " (--raw loads it as a raw image all the same)";
        if (!why.empty()) CliFailure(files[0] + ": " + why);
        return 1;
    }
    if (!Globals().quiet) PrintContents(out);
    return 0;
}

CliRegistrar reg({"import", "Convert a release file into its .vle file",
                  "usage: tavrel-cli import FILE [--progress] [--pack] [--raw]\n"
                  "  Recognises FILE (S-records S1/S2/S3 with or without an end record, Intel\n"
                  "  HEX, ELF executables, absolute, IEEE 695, or any other file as a raw\n"
                  "  image), converts it into the .vle file beside it unless that one is up to\n"
                  "  date, and prints the result, the format it was read as, its address\n"
                  "  ranges and its byte count. A text file of a known format with a bad line\n"
                  "  is refused with the line's number; an empty file is refused. A file\n"
                  "  whose name says a release format its content is not (dsp.elf holding\n"
                  "  text), and text or an archive (zip, gzip, xz, tar...) that no reader\n"
                  "  takes, are refused saying what the content looks like; any other\n"
                  "  binary content is a raw image. --raw converts any non-empty file as a\n"
                  "  raw image.\n"
                  "  --progress shows the percentage on a terminal.\n"
                  "  Consecutive data is packed into records of the full length of the\n"
                  "  file's kind (64 data bytes for S3 S-records), never across a gap or a\n"
                  "  multiple of that length, unless \"Pack release records\" = NO in the\n"
                  "  settings; \"packed\" says whether the .vle file is. --pack packs even\n"
                  "  then; a file converted without packing is converted again.\n"
                  "  Exit code 0 on success, 1 otherwise.",
                  RunImport});

}  // namespace
