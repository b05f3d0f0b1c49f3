#include "ui/editors/EditorCommon.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>

#include <QStyle>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

#include "app/Strings.h"
#include "model/Archive.h"
#include "ui/DialogUnits.h"
#include "ui/controls/StripRender.h"

namespace {

constexpr int kRowImageSize = 16;
const char* const kRowImagesPath = ":/editors/rows.svg";
constexpr int kKeyboardMenuUnits = 5;

// The strip rendered at 1x and 2x so that rows stay sharp on high-DPI screens.
std::array<QIcon, ROW_IMAGE_COUNT> RenderRowIcons()
{
    std::array<QIcon, ROW_IMAGE_COUNT> icons;
    for (const qreal dpr : {1.0, 2.0}) {
        const QPixmap strip = RenderStrip(kRowImagesPath, kRowImageSize, kRowImageSize, ROW_IMAGE_COUNT, dpr);
        const std::vector<QPixmap> images = CutStrip(strip, kRowImageSize);
        for (size_t i = 0; i < images.size() && i < icons.size(); ++i)
            icons[i].addPixmap(images[i]);
    }
    return icons;
}

}   // namespace

QString Text(int id) { return QStr(GetString(id)); }

QIcon RowIcon(int image)
{
    static const std::array<QIcon, ROW_IMAGE_COUNT> icons = RenderRowIcons();
    if (image < 0 || image >= ROW_IMAGE_COUNT)
        return {};
    return icons[static_cast<size_t>(image)];
}

QValidator::State CCp1252Validator::validate(QString& input, int&) const
{
    const std::string text = input.toStdString();
    return Cp1252ToUtf8(Utf8ToCp1252(text)) == text ? Acceptable : Invalid;
}

void LimitEdit(QLineEdit* edit, int maxLength)
{
    edit->setMaxLength(maxLength);
    edit->setValidator(new CCp1252Validator(edit));
}

void NameControl(QWidget* widget, const char* objectName, const QString& accessibleName)
{
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setAccessibleName(accessibleName);
}

QWidget* CControlTable::operator[](int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

QPoint KeyboardMenuPosition(const QWidget* dialog)
{
    const CDialogUnits units = CDialogUnits::Of(dialog);
    return dialog->mapToGlobal(QPoint(units.X(kKeyboardMenuUnits), units.Y(kKeyboardMenuUnits)));
}

void PopUpMenu(QWidget* parent, const std::vector<MenuCommand>& commands, const QPoint& globalPos)
{
    QMenu menu(parent);
    menu.setObjectName(QStringLiteral("contextMenu"));
    std::map<QAction*, const MenuCommand*> actions;
    for (const MenuCommand& c : commands) {
        if (c.id == 0) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromLatin1(c.text));
        action->setEnabled(c.enabled);
        actions[action] = &c;
    }
    QAction* chosen = menu.exec(globalPos);
    const auto it = actions.find(chosen);
    if (it != actions.end() && it->second->run)
        it->second->run();
}

bool IsCommandEnabled(const std::vector<MenuCommand>& commands, int id)
{
    for (const MenuCommand& c : commands)
        if (c.id == id)
            return c.enabled;
    return false;
}

int RowAfterRemoval(int removed, int count)
{
    if (count <= 0)
        return -1;
    return removed < count ? removed : count - 1;
}

std::string EnvironmentFileName(const std::string& chosen)
{
    static const std::string kExt = ".def";
    const std::size_t nameStart = chosen.find_last_of("/\\") == std::string::npos ? 0 : chosen.find_last_of("/\\") + 1;
    const std::string name = chosen.substr(nameStart);
    std::string tail = name.size() > kExt.size() ? name.substr(name.size() - kExt.size()) : std::string();
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == kExt ? chosen : chosen + kExt;
}

bool IsInDirectory(const std::string& path, const std::string& dir)
{
    namespace fs = std::filesystem;
    const auto resolved = [](const fs::path& p, std::string& out) {
        std::error_code ec;
        out = fs::weakly_canonical(p, ec).string();
        while (out.size() > 1 && out.back() == '/') out.pop_back();
        return !ec;
    };
    std::error_code ec;
    const fs::path full = fs::absolute(fs::path(path), ec);
    std::string parent, wanted;
    return !ec && resolved(full.parent_path(), parent) &&
           resolved(fs::path(dir.empty() ? "." : dir), wanted) && parent == wanted;
}

// --- CReportList ------------------------------------------------------------------

CReportList::CReportList(const std::vector<ReportColumn>& columns, QWidget* parent)
    : QTreeWidget(parent), m_columns(columns)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIconSize(QSize(kRowImageSize, kRowImageSize));
    setColumnCount(static_cast<int>(columns.size()));
    QStringList titles;
    for (const ReportColumn& c : columns)
        titles << Text(c.titleId);
    setHeaderLabels(titles);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    for (size_t i = 0; i < columns.size(); ++i) {
        setColumnWidth(static_cast<int>(i), columns[i].width);
        headerItem()->setTextAlignment(static_cast<int>(i), columns[i].align);
    }
    FitColumnsToTitles();
}

void CReportList::FitColumnsToTitles()
{
    QHeaderView* head = header();
    const int margins = 2 * head->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, head);
    for (int i = 0; i < columnCount(); ++i) {
        const int needed = std::max(head->sectionSizeHint(i),
                                    head->fontMetrics().horizontalAdvance(headerItem()->text(i)) + margins);
        if (columnWidth(i) < needed) setColumnWidth(i, needed);
    }
}

void CReportList::changeEvent(QEvent* event)
{
    QTreeWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) FitColumnsToTitles();
}

int CReportList::SelectedRow() const
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.isEmpty() ? -1 : indexOfTopLevelItem(items.front());
}

void CReportList::SelectRow(int row)
{
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item) {
        clearSelection();
        return;
    }
    setCurrentItem(item);
    item->setSelected(true);
    scrollToItem(item);
}

void CReportList::SetRow(int row, const std::vector<QString>& texts, int image)
{
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item) {
        item = new QTreeWidgetItem;
        addTopLevelItem(item);
    }
    for (size_t i = 0; i < texts.size() && i < m_columns.size(); ++i) {
        item->setText(static_cast<int>(i), texts[i]);
        item->setTextAlignment(static_cast<int>(i), m_columns[i].align | Qt::AlignVCenter);
    }
    item->setIcon(0, RowIcon(image));
}

void CReportList::RemoveRow(int row) { delete takeTopLevelItem(row); }

QString CReportList::CellText(int row, int column) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

void CReportList::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QTreeWidget::mouseDoubleClickEvent(event);
        return;
    }
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (item)
        emit rowDoubleClicked(indexOfTopLevelItem(item));
    else
        emit emptyDoubleClicked();
    event->accept();
}

void CReportList::contextMenuEvent(QContextMenuEvent* event)
{
    const QPoint where = event->reason() == QContextMenuEvent::Keyboard ? KeyboardMenuPosition(window())
                                                                         : event->globalPos();
    emit menuRequested(where);
    event->accept();
}
