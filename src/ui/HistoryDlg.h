#pragma once
// Log > "Transfer history…": the loads kept in the history file as a table
// (time, station, port, board, software before -> after, result, time, rate)
// with a filter, sorting by column, the details of a run and an export to CSV.
// Rows are read a page at a time, so a long history opens at once.
#include <QAbstractTableModel>
#include <QDialog>

#include <memory>
#include <string>
#include <vector>

#include "history/HistoryDb.h"
#include "history/HistoryQuery.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

class CHistoryModel : public QAbstractTableModel {
public:
    enum Column { COL_TIME, COL_STATION, COL_PORT, COL_BOARD, COL_SOFTWARE, COL_RESULT, COL_DURATION, COL_RATE, COL_COUNT };
    // Rows read at a time.
    static constexpr int kPageRows = 200;

    explicit CHistoryModel(QObject* parent = nullptr);
    // Opens the file; false with Error() (a missing file is an empty history).
    bool Open(const std::string& path);
    void SetFilter(const HistoryFilter& filter);
    const std::string& Error() const { return m_strError; }
    const HistoryRow* Row(int row) const;
    CHistoryDb& Db() { return m_db; }
    const HistoryFilter& Filter() const { return m_filter; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    void sort(int column, Qt::SortOrder order) override;

private:
    void Reload();
    bool ReadPage(std::vector<HistoryRow>& page);

    CHistoryDb m_db;
    HistoryFilter m_filter;
    HistorySortKey m_sortKey = SORT_TIME;
    bool m_bAscending = false;
    std::vector<HistoryRow> m_rows;
    bool m_bMore = false;
    std::string m_strError;
};

class CHistoryDlg : public QDialog {
public:
    CHistoryDlg(const std::string& path, QWidget* parent = nullptr);

    CHistoryModel& Model() { return *m_pModel; }
    QTableView* Table() const { return m_pTable; }
    // The filter's words ("board", "software" or "port" value, result) applied.
    void ApplyFilter();
    // The run of the selected row in full; empty when no row is selected.
    QString DetailsText() const;
    // Every row the filter selects as CSV into `file`; false with `error`.
    bool ExportCsv(const QString& file, QString& error);

private:
    void ShowDetails();
    void OnExport();
    void ShowStatus();

    std::string m_strPath;
    CHistoryModel* m_pModel = nullptr;
    QTableView* m_pTable = nullptr;
    QLineEdit* m_pBoard = nullptr;
    QLineEdit* m_pSoftware = nullptr;
    QComboBox* m_pResult = nullptr;
    QPushButton* m_pDetails = nullptr;
    QPushButton* m_pExport = nullptr;
    QLabel* m_pStatus = nullptr;
};
