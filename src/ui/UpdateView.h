#pragma once
// CUpdateView: the form of the main window. It shows the process that runs:
// the progress bars, the board and file texts, the elapsed time, the counters,
// the Abort button, the activity blinker, the link text, the transmit and
// receive lamps and the animation. Its display operations are what the Qt
// host turns the engine's calls into; counters and texts that change with
// every data record are gathered and shown at most every kRefreshMs, so a
// fast transfer never waits for the screen.
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <map>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class CIndicator;
class CStateLabel;
class CAnimation;

// Control ids of the form.
enum ViewControl {
    IDC_ABORT = 2,
    IDC_BAR_OVERALL = 144,
    IDC_BAR_ERASE = 153,
    IDC_BAR_PROGRAM = 154,
    IDC_BAR_FILE = 157,
    IDC_BAR_ACTIVITY = 160,
    IDC_FILE_TEXT = 165,
    IDC_ELAPSED = 166,
    IDC_BOARD_TEXT = 168,
    IDC_LINK_TEXT = 253,
    IDC_LABEL_ERASE = 290,
    IDC_LABEL_PROGRAM = 291,
    IDC_LABEL_FILE = 293,
    IDC_BLOCKS = 297,
    IDC_RETRIES = 298,
    IDC_LAMP_TX = 304,
    IDC_LAMP_RX = 305,
    IDC_BOARD_COUNTER = 357,
    IDC_ANIMATION = 379,
    IDC_REMAINING = 397,
    IDC_LABEL_BOARD = 426,
    IDC_LABEL_FILE_NAME = 427,
    IDC_LABEL_ELAPSED = 428,
};

class CUpdateView : public QWidget {
    Q_OBJECT
public:
    // Size of the form in dialog units.
    static constexpr int kFormWidthDu = 318;
    static constexpr int kFormHeightDu = 154;
    // Texts that change with each record are shown at most this often.
    static constexpr int kRefreshMs = 100;

    explicit CUpdateView(QWidget* parent = nullptr);

    // The control of id `id`, or nullptr.
    QWidget* Control(int id) const;
    // Text shown by a label or state label of the form.
    QString ControlText(int id) const;

    // "..." and the last n + 3 characters when the text is longer than n + 3.
    static std::string ShortenText(const std::string& text, int n);

    // --- display operations ----------------------------------------------------
    void ShowBusyLook(bool busy);
    void ShowProcessControls(bool show);
    void SetActivityBlink(bool on);
    void ActivityTick();
    void SetOverallProgress(long done, long total);
    void SetTransferProgress(long block, long blocks, long retries, const std::string& remaining);
    void SetProgressItem(int id, int percent);
    void SetLinkText(const std::string& text);
    void SetBoardText(const std::string& text);
    void SetFileNameText(const std::string& text);
    void SetBoardCounter(const std::string& text);
    void SetElapsedText(const std::string& text);
    void SetBlockCounter(const std::string& text);
    void SetRetryCounter(const std::string& text);
    void ShowBlockCounters(bool show);
    void SetRemainingTime(const std::string& text);
    void FlashLamp(int lamp);
    void PlayAnimation(bool play);
    bool IsBusyLook() const { return m_bBusy; }

    // Shows what was gathered since the last refresh.
    void FlushPendingTexts();

signals:
    void abortClicked();
    // The view asks its frame to refresh the command states.
    void commandStatesChanged();
    void doubleClicked();
    void contextMenuWanted(const QPoint& globalPos);

protected:
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CreateControls();
    void LayOutControls();
    template <class T> T* Add(int id, T* widget, const char* name, const QString& accessibleName);
    QLabel* AddLabel(int id, const QString& text, const char* name);
    QProgressBar* AddBar(int id, const char* name, const QString& accessibleName);
    CStateLabel* AddStateLabel(int id, const char* name, const QString& accessibleName);
    void PaintTextControls(bool busy);
    void SetStateText(int id, const std::string& text);
    void SetLabelText(int id, const std::string& text);
    void SetPending(int id, const std::string& text);
    void ShowBar(int id, int percent);
    static int Percent(long done, long total);
    // Gives a value field an accessible name that carries what it shows.
    void ExposeValue(int id, const QString& value);
    // Characters of a release file name that fit into control 165.
    int FileTextChars() const;

    std::map<int, QWidget*> m_controls;
    std::map<int, std::string> m_pending;
    std::map<int, int> m_pendingBars;
    QTimer m_refreshTimer;
    bool m_bBusy = false;
    bool m_bBlinkOn = false;
    bool m_bBlinkHigh = false;
};
