#include "ui/editors/EditorClipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include <string>
#include <vector>

#include "app/Host.h"
#include "model/BoardConf.h"
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"
#include "ui/editors/EditorCommon.h"

namespace {

constexpr int CAPTION_ERROR = 28;
const char* const kDamagedBoardDef = "The clipboard does not hold a readable board definition.";
const char* const kDamagedBoardConf = "The clipboard does not hold a readable board line.";

struct ClipFormat {
    const char* mimeType;
    const char* windowsType;
};
constexpr ClipFormat kBoardDefFormat{kBoardDefMimeType, kBoardDefWindowsMimeType};
constexpr ClipFormat kBoardConfFormat{kBoardConfMimeType, kBoardConfWindowsMimeType};

// Empties the clipboard and puts the record under both names and its text.
void PutRecord(const ClipFormat& format, const std::vector<uint8_t>& bytes, const std::string& description)
{
    const QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(format.mimeType), data);
    mime->setData(QString::fromLatin1(format.windowsType), data);
    mime->setText(QStr(description));
    QApplication::clipboard()->setMimeData(mime);
}

// The name under which the clipboard holds `format`, empty when it holds neither.
QString HeldName(const ClipFormat& format)
{
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime)
        return {};
    for (const char* name : {format.mimeType, format.windowsType})
        if (mime->hasFormat(QString::fromLatin1(name)))
            return QString::fromLatin1(name);
    return {};
}

// Reads the record of `format` with `read`; an oversized or unreadable one is reported.
template <class Record>
PasteResult PasteRecord(const ClipFormat& format, Record& record, const char* damagedText,
                        bool (*read)(const std::vector<uint8_t>&, Record&, std::string*))
{
    const QString name = HeldName(format);
    if (name.isEmpty())
        return PasteResult::Absent;
    const QByteArray data = QApplication::clipboard()->mimeData()->data(name);
    Record loaded;
    const auto size = static_cast<size_t>(data.size());
    if (size > CLIPBOARD_MAX_RECORD_BYTES ||
        !read(std::vector<uint8_t>(data.begin(), data.end()), loaded, nullptr)) {
        ShowMessage(damagedText, CAPTION_ERROR, MB_OK_ONLY, ICON_EXCLAMATION);
        return PasteResult::Damaged;
    }
    record = std::move(loaded);
    return PasteResult::Pasted;
}

}   // namespace

void CopyBoardDef(const CBoardDef& board)
{
    PutRecord(kBoardDefFormat, BoardDefToBytes(board), board.GetDescription());
}

void CopyBoardConf(const CBoardConf& line)
{
    PutRecord(kBoardConfFormat, BoardConfToBytes(line), line.GetDescription());
}

bool ClipboardHasBoardDef() { return !HeldName(kBoardDefFormat).isEmpty(); }

bool ClipboardHasBoardConf() { return !HeldName(kBoardConfFormat).isEmpty(); }

PasteResult PasteBoardDef(CBoardDef& board)
{
    return PasteRecord<CBoardDef>(kBoardDefFormat, board, kDamagedBoardDef, &BoardDefFromBytes);
}

PasteResult PasteBoardConf(CBoardConf& line)
{
    return PasteRecord<CBoardConf>(kBoardConfFormat, line, kDamagedBoardConf, &BoardConfFromBytes);
}
