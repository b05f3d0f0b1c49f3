#pragma once
// CBoardDefDlg ("Board definition"): edits one board definition of an
// environment, or shows it read-only (mode 3). Works on its own copy of the
// environment; on OK the caller takes Board().
#include <QDialog>
#include <QSpinBox>
#include <QTimer>

#include "model/BoardDef.h"
#include "ui/editors/EditorCommon.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class CStateLabel;

// Control ids of the board definition dialog beside the field ids of BoardDef.h.
enum BoardDefControl {
    IDC_BOARD_BROWSE_FILTER = 346,
    IDC_BOARD_RELAYED = 356,
    IDC_BOARD_ERASE = 373,
    IDC_BOARD_RESTART = 375,
    IDC_BOARD_NOTE = 429,
};

// Context menu 108 of the board definition and environment editors.
enum BoardMenuCommand {
    ID_BOARD_COPY = 32845,
    ID_BOARD_PASTE = 32846,
    ID_BOARD_CUT = 32847,
    ID_BOARD_DETAILS = 32849,
};

// A time-out field: a number from 10 to 120 s that the arrows move by 10. A
// value typed above 120 shows 120 at once; one below 10 becomes 10 when the
// field is left (a first digit may still grow into a valid number).
class CTimeoutSpin : public QSpinBox {
    Q_OBJECT
public:
    explicit CTimeoutSpin(QWidget* parent = nullptr);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
};

class CBoardDefDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRepairCheckDelayMs = 100;

    // A new board when `boardIndex` is -1; `focusControl` -1 focuses the name.
    CBoardDefDlg(int mode, const CEnvDef& environment, int boardIndex, int focusControl,
                 QWidget* parent = nullptr);

    const CBoardDef& Board() const { return m_board; }
    QWidget* Control(int id) const { return m_controls[id]; }

    // Controls -> record; false (after the platform's message, focus on the
    // field) when Progr.ID is not a number.
    bool ReadFields();
    // Record -> controls.
    void ShowRecord();
    void UpdateEnabling();

    std::vector<MenuCommand> ContextCommands();
    void Copy();
    void Cut();
    void Paste();

    // OK: the fields are read and validated; a failing field keeps the dialog
    // open with its message and the focus.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildControls();
    void FillLists();
    bool IsViewOnly() const { return m_nMode == ENV_MODE_VIEW; }

    int m_nMode;
    CEnvDef m_env;
    CBoardDef m_board;
    int m_nBoardIndex;
    int m_nFocusControl;
    bool m_bFirstShow = true;
    QTimer m_repairTimer;
    CControlTable m_controls;

    QLineEdit* m_name = nullptr;
    QLineEdit* m_subassyId = nullptr;
    QLineEdit* m_subassyHardw = nullptr;
    QLineEdit* m_bootLoader = nullptr;
    QLineEdit* m_browseFilter = nullptr;
    QLineEdit* m_progId = nullptr;
    QCheckBox* m_relayed = nullptr;
    QComboBox* m_destination = nullptr;
    QComboBox* m_parent = nullptr;
    QComboBox* m_processing = nullptr;
    QComboBox* m_maxSpeed = nullptr;
    CTimeoutSpin* m_erase = nullptr;
    CTimeoutSpin* m_restart = nullptr;
    QCheckBox* m_saveSpeed = nullptr;
    CStateLabel* m_note = nullptr;
};
