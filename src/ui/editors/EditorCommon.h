#pragma once
// Pieces the editors share: texts of the string table as QString, the three
// row images of the list views, a report-style list whose rows are selected
// by a click anywhere on them, the id -> widget table of a window, and the
// place of a context menu opened from the keyboard.
#include <QIcon>
#include <QString>
#include <QTreeWidget>
#include <QValidator>

#include <functional>
#include <map>
#include <string>
#include <vector>


class QLineEdit;

// Text `id` of the string table.
QString Text(int id);
inline QString QStr(const std::string& utf8) { return QString::fromStdString(utf8); }
inline std::string StdStr(const QString& text) { return text.toStdString(); }

// Row images of the two list editors: 0 a relayed board, 1 a board cabled
// to the program, 2 a unit (Subassy ID beginning with "U").
enum RowImage { ROW_IMAGE_RELAYED = 0, ROW_IMAGE_DIRECT = 1, ROW_IMAGE_UNIT = 2, ROW_IMAGE_COUNT = 3 };
QIcon RowIcon(int image);

// Accepts only texts that the files can hold: .def and .sfl texts are
// Windows-1252, so a character outside it would be saved as '?'.
class CCp1252Validator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};
// A line edit of the editors: its limit and the Windows-1252 validator.
void LimitEdit(QLineEdit* edit, int maxLength);

// Object name and accessible name of a control.
void NameControl(QWidget* widget, const char* objectName, const QString& accessibleName);

// The id -> widget table of one window: the controls the rules refer to.
class CControlTable {
public:
    void Add(int id, QWidget* widget) { m_controls[id] = widget; }
    QWidget* operator[](int id) const;

private:
    std::map<int, QWidget*> m_controls;
};

// Where a context menu opened from the keyboard appears: 5 dialog units right
// of and below the top-left corner of the dialog's client area.
QPoint KeyboardMenuPosition(const QWidget* dialog);

// One command of a context menu; id 0 is a separator.
struct MenuCommand {
    int id;
    const char* text;
    bool enabled;
    std::function<void()> run;
};
// Shows the menu at `globalPos` and runs the command chosen.
void PopUpMenu(QWidget* parent, const std::vector<MenuCommand>& commands, const QPoint& globalPos);
// The enabled state of command `id` in `commands` (false when absent).
bool IsCommandEnabled(const std::vector<MenuCommand>& commands, int id);

// The file an environment saved under `chosen` goes to: ".def" is added when
// the name does not end with it, since the environment scan reads only those.
std::string EnvironmentFileName(const std::string& chosen);
// True when `path` lies directly in directory `dir` (after resolving both).
bool IsInDirectory(const std::string& path, const std::string& dir);

// One column of a report list: title, width in pixels, alignment.
struct ReportColumn {
    int titleId;
    int width;
    Qt::Alignment align;
};

// A report-style list: full rows, one selected at a time, selected by a
// click anywhere on them (also the right button). Reports double-clicks on
// a row or on the empty part, and context-menu requests with the place
// where the menu goes.
class CReportList : public QTreeWidget {
    Q_OBJECT
public:
    CReportList(const std::vector<ReportColumn>& columns, QWidget* parent = nullptr);

    // Selected row, -1 when none.
    int SelectedRow() const;
    // Selects and reveals `row` (none when out of range).
    void SelectRow(int row);
    // Texts of one row (one per column) and its image; appended when `row` is the row count.
    void SetRow(int row, const std::vector<QString>& texts, int image);
    void RemoveRow(int row);
    int RowCount() const { return topLevelItemCount(); }
    QString CellText(int row, int column) const;

signals:
    void rowDoubleClicked(int row);
    void emptyDoubleClicked();
    void menuRequested(const QPoint& globalPos);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // A column narrower than its title in the current font is widened to it.
    void FitColumnsToTitles();

    std::vector<ReportColumn> m_columns;
};

// After a row was removed: the row now at the same place, or the last one.
int RowAfterRemoval(int removed, int count);
