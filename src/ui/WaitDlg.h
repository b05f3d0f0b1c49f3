#pragma once
// CWaitDlg: the modeless "Wait ..." window of the engine's long waits: a
// message, a progress bar with a percentage or elapsed-time text, and a
// "Cancel" button that the waiting loop polls. While it lives, the owner
// window is disabled.
#include <QDialog>
#include <QPointer>

#include <map>

class QLabel;
class QProgressBar;
class QPushButton;

class CWaitDlg : public QDialog {
    Q_OBJECT
public:
    // Control ids of the window.
    enum { IDC_CANCEL = 2, IDC_PROGRESS = 1003, IDC_PROGRESS_TEXT = 1004, IDC_MESSAGE = 1005 };
    // What the progress text shows.
    enum TextMode { TEXT_PERCENT = 0, TEXT_ELAPSED_BAR = 1, TEXT_ELAPSED_INTERNAL = 2 };
    static constexpr int kDefaultTitleId = 106;   // "Waiting ..."

    explicit CWaitDlg(int titleId = 0, QWidget* parent = nullptr);
    ~CWaitDlg() override;

    // Disables `owner` (when enabled) and shows the window. False when the
    // window already stands; the owner is then left as it was.
    bool Create(QWidget* owner);
    void SetMessage(const QString& text);
    void SetRange(int minimum, int maximum);   // also sets the limit to the maximum
    void SetStep(int step);
    void SetPos(int position);
    void OffsetPos(int delta);
    void StepIt();
    void StepIt(int n);
    bool CheckCancel();   // the Cancel flag, cleared by reading it
    void SetTextMode(int mode);
    void SetLimit(int limit);
    int Position() const { return m_nInternal; }   // the internal position
    bool LimitReached() const { return m_nInternal >= m_nLimit; }
    QString ProgressText() const;
    // Enables the owner again and closes the window.
    void Destroy();

    bool IsCreated() const { return m_bCreated; }
    int BarPosition() const { return m_nPos; }
    QWidget* Control(int id) const;

    // The texts of the progress field, for a position relative to the minimum.
    static QString PercentText(long long position, int minimum, int maximum);
    static QString ElapsedText(long long position, int minimum);

public slots:
    void reject() override;   // Escape and the close button act as Cancel

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void MoveTo(long long position);
    void RefreshText();

    int m_nTitleId;
    int m_nMin = 0;
    int m_nMax = 100;
    int m_nStep = 10;
    long long m_nPos = 0;        // the bar's position as asked (the bar itself clamps)
    int m_nInternal = 0;
    int m_nLimit = 100;
    int m_nTextMode = TEXT_PERCENT;
    bool m_bCancel = false;
    bool m_bCreated = false;
    QPointer<QWidget> m_owner;   // the owner this dialog disabled

    QLabel* m_pMessage = nullptr;
    QLabel* m_pText = nullptr;
    QProgressBar* m_pBar = nullptr;
    QPushButton* m_pCancel = nullptr;
    std::map<int, QWidget*> m_controls;
};
