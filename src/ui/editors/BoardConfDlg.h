#pragma once
// CBoardConfDlg ("Transfer board parameters"): edits one line of a transfer
// request against one environment. On OK the caller takes Line() and
// completes it (environment index, "Subassy hardw." and environment name).
#include <QDialog>

#include "model/BoardConf.h"
#include "ui/editors/EditorCommon.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// Control ids of the board-line dialog beside the field ids of BoardConf.h.
enum BoardConfControl {
    IDC_LINE_TRANSFER_SPEED = 294,
    IDC_LINE_CONFIG_SPEED = 353,
    IDC_LINE_RESTART = 349,
    IDC_LINE_BROWSE = 321,
    IDC_LINE_OK = 1,
};

// Context menu of the board-line dialog (its Details is never enabled).
enum BoardConfMenuCommand {
    ID_LINE_COPY = 32845,
    ID_LINE_PASTE = 32846,
    ID_LINE_CUT = 32847,
    ID_LINE_DETAILS = 32849,
};

class CBoardConfDlg : public QDialog {
    Q_OBJECT
public:
    // `environment` must outlive the dialog. The dialog edits alike in every mode.
    explicit CBoardConfDlg(const CEnvDef& environment, QWidget* parent = nullptr);

    // The line to edit, before the dialog is shown.
    void SetLine(const CBoardConf& line);
    const CBoardConf& Line() const { return m_line; }
    QWidget* Control(int id) const { return m_controls[id]; }

    void ReadFields();
    void ShowRecord();
    void UpdateEnabling();
    // The board list changed: the speed lists follow the new board.
    void OnBoardChosen();
    // "...": a release file chosen in the request's folder.
    void Browse();

    std::vector<MenuCommand> ContextCommands();
    void Copy();
    void Cut();
    void Paste();

    void accept() override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildControls();
    void FillSpeedLists();
    const CBoardDef* ChosenBoard() const { return m_env.Board(m_line.m_nBoardIndex); }

    const CEnvDef& m_env;
    CBoardConf m_line;
    int m_nPreviousBoard = -1;
    CControlTable m_controls;

    QComboBox* m_board = nullptr;
    QCheckBox* m_alone = nullptr;
    QCheckBox* m_restart = nullptr;
    QComboBox* m_transferSpeed = nullptr;
    QComboBox* m_configSpeed = nullptr;
    QLineEdit* m_softId = nullptr;
    QLineEdit* m_releaseFile = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_ok = nullptr;
};
