// Log > "Transfer history…": the table of a real history file, read a page at
// a time, filtered, sorted, a run's details and the CSV export; every control
// named for assistive tools; the menu entry opens it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include "common/TempDir.h"
#include "engine/EngineTypes.h"
#include "history/HistoryRecorder.h"
#include "ui/Commands.h"
#include "ui/HistoryDlg.h"

namespace {

class HistoryWindow : public ::testing::Test {
protected:
    // One history for every case (the window only reads it): a run that
    // loaded CPU 250 times, then a run whose GPS was not found again.
    static void SetUpTestSuite()
    {
        s_dir = new CTempDir;
        CHistoryRecorder recorder(s_dir->File("history.sqlite"), {"tavrel-test", "V2.0"});
        ASSERT_TRUE(recorder.RunStarted({PROC_TRANSFER, "/dev/ttyUSB0", 9600, ""})) << recorder.LastError();
        RecordedIdent ident{"$PKVR,IDENT,1,1,CM10,CPU0100\r\n", 9600, false, {}};
        for (int line = 0; line < kCpuLoads; ++line) ident.lineSoftware.emplace_back(line, "CPU0100");
        recorder.IdentAnswer(ident);
        for (int line = 0; line < kCpuLoads; ++line) {
            recorder.BoardStarted({line, "CPU", "DEMO", "CM", "10", "CPU0200", "", "", 115200});
            recorder.BoardEnded({line, "CPU0200", 3000, 0, 4, RESULT_OK, "OK", ""});
        }
        recorder.RunEnded({true, "", {}});
        recorder.RunStarted({PROC_TRANSFER, "/dev/ttyUSB0", 9600, ""});
        recorder.IdentAnswer({"$PKVR,IDENT,1,1,GP20,GPS0100\r\n", 9600, false, {{0, "GPS0100"}}});
        recorder.BoardStarted({0, "GPS", "DEMO", "GP", "20", "GPS0200", "", "", 57600});
        recorder.BoardEnded({0, "", 2048, 0, 3, RESULT_NOT_FOUND, "Not found at re-start.", ""});
        recorder.RunEnded({false, "Not found at re-start.", {}});
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }

    static constexpr int kCpuLoads = CHistoryModel::kPageRows + 50;
    static CTempDir* s_dir;

    int Column(const QString& title) const
    {
        for (int c = 0; c < CHistoryModel::COL_COUNT; ++c)
            if (dialog->Model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() == title) return c;
        return -1;
    }

    QString Cell(int row, int column) const { return dialog->Model().index(row, column).data().toString(); }

    CTempDir dir;
    std::string path = s_dir->File("history.sqlite");
    std::unique_ptr<CHistoryDlg> dialog;
};

CTempDir* HistoryWindow::s_dir = nullptr;

TEST_F(HistoryWindow, ShowsTheNewestLoadsFirstAndReadsMoreAsItScrolls)
{
    dialog = std::make_unique<CHistoryDlg>(path);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    const QStringList titles = {"Time", "Station", "Port", "Board", "Software", "Result", "Duration", "Rate"};
    for (int c = 0; c < titles.size(); ++c) EXPECT_EQ(Column(titles[c]), c);
    CHistoryModel& model = dialog->Model();
    ASSERT_GE(model.rowCount(), CHistoryModel::kPageRows);
    EXPECT_EQ(Cell(0, CHistoryModel::COL_BOARD), "GPS");
    EXPECT_EQ(Cell(0, CHistoryModel::COL_RESULT), "failed");
    EXPECT_EQ(Cell(0, CHistoryModel::COL_SOFTWARE), QString::fromUtf8("GPS0100 \u2192 (GPS0200)"));
    EXPECT_EQ(Cell(1, CHistoryModel::COL_SOFTWARE), QString::fromUtf8("CPU0100 \u2192 CPU0200"));
    EXPECT_EQ(Cell(1, CHistoryModel::COL_DURATION), "0:04");
    EXPECT_EQ(Cell(1, CHistoryModel::COL_RATE), "115200");
    EXPECT_EQ(Cell(0, CHistoryModel::COL_RATE), "57600");
    EXPECT_EQ(Cell(0, CHistoryModel::COL_DURATION), "0:03");
    while (model.canFetchMore({})) model.fetchMore({});
    EXPECT_EQ(model.rowCount(), kCpuLoads + 1);
}

TEST_F(HistoryWindow, FiltersSortsShowsARunAndExports)
{
    dialog = std::make_unique<CHistoryDlg>(path);
    auto* board = dialog->findChild<QLineEdit*>("historyBoard");
    auto* result = dialog->findChild<QComboBox*>("historyResult");
    ASSERT_TRUE(board && result);
    board->setText("gps");
    dialog->ApplyFilter();
    ASSERT_EQ(dialog->Model().rowCount(), 1);
    board->clear();
    result->setCurrentIndex(result->findData("ok"));   // applies at once
    EXPECT_EQ(dialog->Model().rowCount(), CHistoryModel::kPageRows);
    EXPECT_EQ(Cell(0, CHistoryModel::COL_RESULT), "ok");
    result->setCurrentIndex(0);

    // Sorting by board name: CPU before GPS ascending.
    dialog->Table()->sortByColumn(CHistoryModel::COL_BOARD, Qt::AscendingOrder);
    EXPECT_EQ(Cell(0, CHistoryModel::COL_BOARD), "CPU");
    dialog->Table()->sortByColumn(CHistoryModel::COL_BOARD, Qt::DescendingOrder);
    EXPECT_EQ(Cell(0, CHistoryModel::COL_BOARD), "GPS");

    EXPECT_TRUE(dialog->DetailsText().isEmpty());   // nothing selected
    dialog->Table()->selectRow(0);
    const QString details = dialog->DetailsText();
    EXPECT_TRUE(details.contains("Board GPS (DEMO): failed")) << details.toStdString();
    EXPECT_TRUE(details.contains("$PKVR,IDENT,1,1,GP20,GPS0100")) << details.toStdString();

    board->setText("GPS");
    dialog->ApplyFilter();
    QString error;
    ASSERT_TRUE(dialog->ExportCsv(QString::fromStdString(dir.File("out.csv")), error)) << error.toStdString();
    QFile csv(QString::fromStdString(dir.File("out.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);   // header, one row, the end
    EXPECT_TRUE(lines[0].startsWith("run,started,ended,station,"));
    EXPECT_TRUE(lines[1].contains(",GPS,"));
    EXPECT_FALSE(dialog->ExportCsv(QString::fromStdString(dir.File("no/such/dir/out.csv")), error));
}

TEST_F(HistoryWindow, EveryControlIsNamedAndAMissingFileIsAnEmptyHistory)
{
    dialog = std::make_unique<CHistoryDlg>(dir.File("none.sqlite"));
    EXPECT_EQ(dialog->Model().rowCount(), 0);
    EXPECT_EQ(dialog->windowTitle(), "Transfer history");
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QTableView*>(w)) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        }
    }
    const CommandInfo* command = FindCommand(ID_HISTORY);
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(std::string(command->text), "Transfer history\u2026");
}

}  // namespace
