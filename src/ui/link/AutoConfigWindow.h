#pragma once
// The "Auto configure" window: what a run of the auto-configure logic
// (CAutoConfigDlg) shows, its "Cancel" button and its "Lock baud rate" box.
// One window serves run after run: the logic attaches itself while it runs.
#include <QDialog>

#include <array>

#include "link/AutoConfig.h"
#include "ui/link/LinkControls.h"

class CLed;
class CStateLabel;
class QCheckBox;
class QLabel;
class QProgressBar;

class CAutoConfigWindow : public QDialog, public IAutoConfigView {
    Q_OBJECT
public:
    enum Control {
        CTRL_CANCEL = 2,
        CTRL_PROGRESS = 144,
        CTRL_CONNECTION = 400,
        CTRL_LED_FIRST = 419,   // LEDs "0" to "3" are 419 to 422
        CTRL_LOCK = 423,
    };
    static constexpr int kLedCount = CAutoConfigDlg::kLedCount;
    static constexpr int kLedImageSize = 13;    // pixels of one image of the strip
    static constexpr int kLedImages = 5;
    static constexpr int kWidthUnits = 184;     // template size in dialog units
    static constexpr int kHeightUnits = 77;

    explicit CAutoConfigWindow(QWidget* parent);

    QWidget* Control(int id) const { return m_controls.Control(id); }
    CLed* Led(int index) const;
    CAutoConfigDlg* Logic() const { return m_pLogic; }

    // --- IAutoConfigView -----------------------------------------------------------
    void Attach(CAutoConfigDlg* logic) override { m_pLogic = logic; }
    void Shown(bool open) override;
    void SetTitle(const std::string& text) override;
    void EnableLockOption(bool enable) override;
    void SetLockChecked(bool locked) override;
    void SetProgressRange(int maximum) override;
    void StepProgress() override;
    void SetConnectionText(const std::string& text) override;
    void SetLedBlinkPeriod(int led, int ms) override;
    void SetLedImage(int led, int image) override;
    void SetLedBlink(int led, int imageA, int imageB) override;
    void ShowLed(int led, bool show) override;

public slots:
    // "Cancel", Escape and the window's close button cancel the run.
    void reject() override;

private:
    void CreateControls();
    void LayOutControls();
    void CentreOnParent();

    CLinkControls m_controls;
    CStateLabel* m_pConnection = nullptr;
    QProgressBar* m_pProgress = nullptr;
    std::array<CLed*, kLedCount> m_leds{};
    std::array<QLabel*, kLedCount> m_ledCaptions{};
    QCheckBox* m_pLock = nullptr;
    CAutoConfigDlg* m_pLogic = nullptr;
};
