// Bounded file reading and writing for .def and .sfl files, path pieces.
#include "model/ModelFiles.h"

#include <QFileInfo>
#include <QSaveFile>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

FileReadResult ReadModelFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return FileReadResult::CannotOpen;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return FileReadResult::CannotOpen;
    // Read in pieces and stop once the limit is passed: a larger file is told
    // apart even when it grows while it is read, and a small file costs no
    // more memory than its own size.
    constexpr size_t kPieceBytes = 64 * 1024;
    std::vector<char> piece(kPieceBytes);
    while (in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (bytes.size() + got > MODEL_MAX_FILE_BYTES) {
            bytes.clear();
            return FileReadResult::TooLarge;
        }
        bytes.insert(bytes.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
    }
    if (in.bad()) {
        bytes.clear();
        return FileReadResult::CannotOpen;
    }
    return FileReadResult::Ok;
}

bool WriteModelFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto size = static_cast<qint64>(bytes.size());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::string AbsolutePath(const std::string& path)
{
    if (path.empty())
        return path;
    return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
}

std::string DirectoryWithSlash(const std::string& dir)
{
    if (dir.empty() || dir.back() == '/')
        return dir;
    return dir + '/';
}

std::string DirectoryOfPath(const std::string& path)
{
    const std::string absolute = AbsolutePath(path);
    const size_t cut = absolute.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : absolute.substr(0, cut + 1);
}

std::string FileNamePart(const std::string& path)
{
    const size_t cut = path.find_last_of("/\\");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    if (name == "." || name == "..")
        name.clear();
    return name;
}
