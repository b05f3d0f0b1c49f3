#include "ui/HistoryDlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QString Qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// A stored UTC time shown in the station's local time.
QString LocalTime(const std::string& stored)
{
    QDateTime utc = QDateTime::fromString(Qs(stored), Qt::ISODate);
    if (!utc.isValid()) return Qs(stored);
    utc.setTimeSpec(Qt::UTC);
    return utc.toLocalTime().toString("yyyy-MM-dd HH:mm:ss");
}

QString Duration(long long seconds)
{
    return QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

// Sort key of each column; the software column is sorted by time.
HistorySortKey SortKeyOf(int column)
{
    switch (column) {
    case CHistoryModel::COL_STATION: return SORT_STATION;
    case CHistoryModel::COL_PORT: return SORT_PORT;
    case CHistoryModel::COL_BOARD: return SORT_BOARD;
    case CHistoryModel::COL_RESULT: return SORT_RESULT;
    case CHistoryModel::COL_DURATION: return SORT_SECONDS;
    case CHistoryModel::COL_RATE: return SORT_RATE;
    default: return SORT_TIME;
    }
}

QString SoftwareText(const HistoryRow& r)
{
    if (r.boardId == 0) return Qs(r.process);
    const QString before = r.softwareBefore.empty() ? "?" : Qs(r.softwareBefore);
    const QString after = !r.softwareAfter.empty() ? Qs(r.softwareAfter)
                          : r.softwareWanted.empty() ? QString("?")
                                                     : "(" + Qs(r.softwareWanted) + ")";
    return before + QString::fromUtf8(" \u2192 ") + after;
}

template <class W>
W* Named(W* widget, const char* objectName, const QString& accessibleName)
{
    widget->setObjectName(objectName);
    widget->setAccessibleName(accessibleName);
    return widget;
}

}  // namespace

// --- the model ---------------------------------------------------------------------------

CHistoryModel::CHistoryModel(QObject* parent) : QAbstractTableModel(parent) {}

bool CHistoryModel::Open(const std::string& path)
{
    beginResetModel();
    m_rows.clear();
    m_bMore = false;
    m_strError.clear();
    const bool opened = m_db.OpenForReading(path);
    if (!opened && !m_db.Missing()) m_strError = m_db.Error();
    if (opened) {
        std::vector<HistoryRow> page;
        if (ReadPage(page)) m_rows = std::move(page);
    }
    endResetModel();
    return m_strError.empty();
}

bool CHistoryModel::ReadPage(std::vector<HistoryRow>& page)
{
    if (!m_db.IsOpen()) return false;
    HistoryFilter filter = m_filter;
    filter.limit = kPageRows;
    std::string error;
    if (!QueryHistory(m_db, filter, page, error, m_sortKey, m_bAscending, static_cast<long>(m_rows.size()))) {
        m_strError = error;
        m_bMore = false;
        return false;
    }
    m_bMore = page.size() == static_cast<size_t>(kPageRows);
    return true;
}

void CHistoryModel::Reload()
{
    beginResetModel();
    m_rows.clear();
    m_strError.clear();
    std::vector<HistoryRow> page;
    if (ReadPage(page)) m_rows = std::move(page);
    endResetModel();
}

void CHistoryModel::SetFilter(const HistoryFilter& filter)
{
    m_filter = filter;
    Reload();
}

const HistoryRow* CHistoryModel::Row(int row) const
{
    return row >= 0 && row < static_cast<int>(m_rows.size()) ? &m_rows[static_cast<size_t>(row)] : nullptr;
}

int CHistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CHistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COL_COUNT;
}

QVariant CHistoryModel::data(const QModelIndex& index, int role) const
{
    const HistoryRow* r = Row(index.row());
    if (r == nullptr) return {};
    if (role == Qt::TextAlignmentRole && (index.column() == COL_DURATION || index.column() == COL_RATE))
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && !r->reason.empty()) return Qs(r->reason);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case COL_TIME: return LocalTime(r->started);
    case COL_STATION: return Qs(r->station);
    case COL_PORT: return Qs(r->port);
    case COL_BOARD: return Qs(r->board);
    case COL_SOFTWARE: return SoftwareText(*r);
    case COL_RESULT: return Qs(r->result);
    case COL_DURATION: return r->boardId == 0 ? QString() : Duration(r->seconds);
    case COL_RATE: return r->rate > 0 ? QString::number(r->rate) : QString();
    default: return {};
    }
}

QVariant CHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const kTitles[COL_COUNT] = {"Time", "Station", "Port", "Board", "Software", "Result", "Duration", "Rate"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= COL_COUNT) return {};
    return QString(kTitles[section]);
}

bool CHistoryModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && m_bMore;
}

void CHistoryModel::fetchMore(const QModelIndex& parent)
{
    if (parent.isValid() || !m_bMore) return;
    std::vector<HistoryRow> page;
    if (!ReadPage(page) || page.empty()) return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(page.size()) - 1);
    for (HistoryRow& row : page) m_rows.push_back(std::move(row));
    endInsertRows();
}

void CHistoryModel::sort(int column, Qt::SortOrder order)
{
    m_sortKey = SortKeyOf(column);
    m_bAscending = order == Qt::AscendingOrder;
    Reload();
}

// --- the window --------------------------------------------------------------------------

CHistoryDlg::CHistoryDlg(const std::string& path, QWidget* parent) : QDialog(parent), m_strPath(path)
{
    setObjectName("historyDialog");
    setWindowTitle(QString::fromUtf8("Transfer history"));
    setAccessibleName("Transfer history");

    auto* filters = new QHBoxLayout;
    m_pBoard = Named(new QLineEdit(this), "historyBoard", "Board filter");
    m_pBoard->setPlaceholderText("Board");
    m_pSoftware = Named(new QLineEdit(this), "historySoftware", "Software filter");
    m_pSoftware->setPlaceholderText("Software");
    m_pResult = Named(new QComboBox(this), "historyResult", "Result filter");
    for (const char* result : {"", "ok", "failed", "interrupted", "running"}) m_pResult->addItem(*result ? result : "any result", result);
    auto* apply = Named(new QPushButton("&Filter", this), "historyApply", "Apply the filter");
    filters->addWidget(Named(new QLabel("Board:", this), "historyBoardLabel", "Board"));
    filters->addWidget(m_pBoard);
    filters->addWidget(Named(new QLabel("Software:", this), "historySoftwareLabel", "Software"));
    filters->addWidget(m_pSoftware);
    filters->addWidget(m_pResult);
    filters->addWidget(apply);

    m_pModel = new CHistoryModel(this);
    m_pTable = Named(new QTableView(this), "historyTable", "Loads kept in the history");
    m_pTable->setModel(m_pModel);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->setSortingEnabled(true);
    m_pTable->horizontalHeader()->setSortIndicator(CHistoryModel::COL_TIME, Qt::DescendingOrder);
    // The table's corner button selects every row.
    if (auto* corner = m_pTable->findChild<QAbstractButton*>()) Named(corner, "historyCorner", "Select every row");

    m_pStatus = Named(new QLabel(this), "historyStatus", "History status");
    m_pDetails = Named(new QPushButton("&Details...", this), "historyDetails", "Details of the selected run");
    m_pExport = Named(new QPushButton("&Export CSV...", this), "historyExport", "Export to CSV");
    auto* close = Named(new QPushButton("&Close", this), "historyClose", "Close");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pStatus, 1);
    buttons->addWidget(m_pDetails);
    buttons->addWidget(m_pExport);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_pTable, 1);
    layout->addLayout(buttons);
    resize(900, 480);

    connect(apply, &QPushButton::clicked, this, [this] { ApplyFilter(); });
    connect(m_pBoard, &QLineEdit::returnPressed, this, [this] { ApplyFilter(); });
    connect(m_pSoftware, &QLineEdit::returnPressed, this, [this] { ApplyFilter(); });
    connect(m_pResult, &QComboBox::currentIndexChanged, this, [this] { ApplyFilter(); });
    connect(m_pDetails, &QPushButton::clicked, this, [this] { ShowDetails(); });
    connect(m_pTable, &QTableView::doubleClicked, this, [this] { ShowDetails(); });
    connect(m_pExport, &QPushButton::clicked, this, [this] { OnExport(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    m_pModel->Open(m_strPath);
    ShowStatus();
}

void CHistoryDlg::ShowStatus()
{
    if (!m_pModel->Error().empty()) m_pStatus->setText(Qs(m_pModel->Error()));
    else if (!m_pModel->Db().IsOpen()) m_pStatus->setText("No history yet: " + Qs(m_strPath));
    else m_pStatus->setText(Qs(m_strPath));
    m_pDetails->setEnabled(m_pModel->rowCount() > 0);
    m_pExport->setEnabled(m_pModel->Db().IsOpen());
}

void CHistoryDlg::ApplyFilter()
{
    HistoryFilter filter;
    filter.board = m_pBoard->text().trimmed().toStdString();
    filter.software = m_pSoftware->text().trimmed().toStdString();
    filter.result = m_pResult->currentData().toString().toStdString();
    m_pModel->SetFilter(filter);
    ShowStatus();
}

QString CHistoryDlg::DetailsText() const
{
    const QModelIndexList selected = m_pTable->selectionModel()->selectedRows();
    const HistoryRow* row = selected.isEmpty() ? nullptr : m_pModel->Row(selected.front().row());
    if (row == nullptr) return {};
    HistoryRunDetails details;
    std::string error;
    if (!ReadHistoryRun(m_pModel->Db(), row->runId, details, error)) return Qs(error);
    return Qs(HistoryRunText(details));
}

void CHistoryDlg::ShowDetails()
{
    const QString text = DetailsText();
    if (text.isEmpty()) return;
    QDialog dialog(this);
    dialog.setObjectName("historyDetailsDialog");
    dialog.setWindowTitle("Run details");
    dialog.setAccessibleName("Run details");
    auto* view = Named(new QPlainTextEdit(text, &dialog), "historyDetailsText", "Run details text");
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFont("monospace"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    buttons->setObjectName("historyDetailsButtons");
    buttons->button(QDialogButtonBox::Close)->setAccessibleName("Close");
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(view);
    layout->addWidget(buttons);
    dialog.resize(720, 480);
    dialog.exec();
}

bool CHistoryDlg::ExportCsv(const QString& file, QString& error)
{
    HistoryFilter filter = m_pModel->Filter();
    filter.limit = -1;
    std::vector<HistoryRow> rows;
    std::string readError;
    if (!QueryHistory(m_pModel->Db(), filter, rows, readError)) {
        error = Qs(readError);
        return false;
    }
    QFile out(file);
    const std::string csv = HistoryCsv(rows);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()) || !out.flush()) {
        error = "Cannot write " + file + ": " + out.errorString();
        return false;
    }
    return true;
}

void CHistoryDlg::OnExport()
{
    const QString file = QFileDialog::getSaveFileName(this, "Export the history", "history.csv", "CSV files (*.csv)");
    if (file.isEmpty()) return;
    QString error;
    if (!ExportCsv(file, error)) QMessageBox::warning(this, "Transfer history", error);
}
