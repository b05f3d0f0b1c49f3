// Speed of the history with 100 000 loads: `history --board NAME --since
// DATE` (target under 50 ms) and the opening of the history window (target
// under 300 ms). Prints each figure beside its target, as a ratio.
//   tavrel-bench-history FILE [ROWS]   builds FILE when it is missing
#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "history/HistoryDb.h"
#include "history/HistoryQuery.h"
#include "ui/HistoryDlg.h"

namespace {

constexpr int kBoards = 50;
constexpr int kDays = 365;
constexpr int kRepeats = 20;
constexpr double kQueryTargetMs = 50;
constexpr double kWindowTargetMs = 300;

// One run and one board load per row, spread over the last year, in one transaction.
bool Build(const std::string& path, long rows)
{
    CHistoryDb db;
    if (!db.OpenForWriting(path) || !db.Begin()) {
        std::fprintf(stderr, "%s\n", db.Error().c_str());
        return false;
    }
    const std::time_t now = std::time(nullptr);
    for (long i = 0; i < rows; ++i) {
        const std::string started = HistoryTimeText(now - static_cast<std::time_t>((rows - i) * (kDays * 86400L / rows)));
        const std::string board = "BOARD" + std::to_string(i % kBoards);
        CHistoryStatement run(db.Handle(),
                              "INSERT INTO runs (started, ended, station, user, program, version, process, port, rate,"
                              " result, owner) VALUES (?1, ?1, 'bench', 'bench', 'tavrel-cli', 'V2.0', 'transfer',"
                              " ?2, 9600, 'ok', '1:1')");
        run.Bind(1, started);
        run.Bind(2, "/dev/ttyUSB" + std::to_string(i % 4));
        if (run.Step() != SQLITE_DONE) return false;
        CHistoryStatement load(db.Handle(),
                               "INSERT INTO boards (run_id, line, board, environment, software_before, software_wanted,"
                               " software_after, release_path, rate, started, ended, bytes_sent, resends, seconds, result,"
                               " result_code) VALUES (?1, 0, ?2, 'DEMO', 'SW0100', 'SW0200', 'SW0200', '/r/x.s19',"
                               " 115200, ?3, ?3, 65536, 0, 7, 'ok', 1)");
        load.Bind(1, static_cast<long long>(sqlite3_last_insert_rowid(db.Handle())));
        load.Bind(2, board);
        load.Bind(3, started);
        if (load.Step() != SQLITE_DONE) return false;
    }
    return db.Commit();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tavrel-bench-history FILE [ROWS]\n");
        return 2;
    }
    const std::string path = argv[1];
    const long rows = argc > 2 ? std::atol(argv[2]) : 100000;
    if (!std::filesystem::exists(path)) {
        QElapsedTimer built;
        built.start();
        if (!Build(path, rows)) return 1;
        std::printf("built %ld loads in %.1f s\n", rows, built.elapsed() / 1000.0);
    }

    HistoryFilter filter;
    std::vector<std::string> words = {"--board", "BOARD7", "--since", HistoryTimeText(std::time(nullptr) - 30 * 86400L).substr(0, 10)};
    std::string error;
    if (!ParseHistoryFilter(words, filter, error)) return 1;
    std::vector<double> query, window;
    size_t found = 0;
    for (int i = 0; i < kRepeats; ++i) {
        QElapsedTimer t;
        t.start();
        CHistoryDb db;
        std::vector<HistoryRow> selected;
        if (!db.OpenForReading(path) || !QueryHistory(db, filter, selected, error)) {
            std::fprintf(stderr, "%s%s\n", db.Error().c_str(), error.c_str());
            return 1;
        }
        query.push_back(t.nsecsElapsed() / 1e6);
        found = selected.size();

        t.restart();
        CHistoryDlg dialog(path);
        dialog.show();
        QApplication::processEvents();
        window.push_back(t.nsecsElapsed() / 1e6);
        if (dialog.Model().rowCount() == 0) return 1;
    }
    const double q = Median(query);
    const double w = Median(window);
    std::printf("history --board BOARD7 --since <30 days>: %zu rows, median %.1f ms of %d (target %.0f ms, ratio %.2f)\n",
                found, q, kRepeats, kQueryTargetMs, q / kQueryTargetMs);
    std::printf("history window opens and paints: median %.1f ms of %d (target %.0f ms, ratio %.2f)\n", w, kRepeats,
                kWindowTargetMs, w / kWindowTargetMs);
    return q < kQueryTargetMs && w < kWindowTargetMs ? 0 : 1;
}
