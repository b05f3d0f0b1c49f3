#pragma once
// CEnvDefDlg ("Environment definition"): the environment editor. Shows the
// environments it was given and the boards of the selected one; creates,
// saves and deletes .def files, edits boards through CBoardDefDlg, and in
// mode 5 lets the user choose a board for a request line. Works on its own
// copies; every file it writes or deletes is already on disk when it closes.
#include <QDialog>

#include <vector>

#include "model/BoardDef.h"
#include "ui/editors/EditorCommon.h"

class QComboBox;
class QPushButton;
class CStateLabel;

enum EnvDefControl {
    IDC_ENV_LIST = 324,
    IDC_ENV_NEW = 331,
    IDC_ENV_DELETE = 332,
    IDC_ENV_LOAD = 340,
    IDC_ENV_SAVE = 338,
    IDC_ENV_PATH = 320,
    IDC_ENV_BOARDS = 333,
    IDC_ENV_ADD_BOARD = 335,
    IDC_ENV_BOARD_DETAILS = 336,
    IDC_ENV_DELETE_BOARD = 337,
    IDC_ENV_OK = 1,
    IDC_ENV_CANCEL = 2,
};

// What each mode allows (enabled when an environment is selected; the
// board commands also need a board).
struct EnvModeRights {
    int mode;
    bool newEnv;
    bool deleteEnv;
    bool saveAndAdd;
    bool boardDetailsAndDelete;
};
const EnvModeRights& RightsOfMode(int mode);

class CEnvDefDlg : public QDialog {
    Q_OBJECT
public:
    // `envIndex` -1 selects the first environment; `boardIndex` >= 0 opens
    // that board's Details as soon as the dialog runs.
    CEnvDefDlg(int mode, const std::vector<CEnvDef>& environments, int envIndex, int boardIndex,
               QWidget* parent = nullptr);

    int Mode() const { return m_nMode; }
    // Selected environment (-1: none) and row (-1: none); in mode 5 after OK
    // these are the choice.
    int SelectedEnvironment() const { return m_nSel; }
    int SelectedBoard() const;
    const CEnvDef& WorkingEnvironment() const { return m_work; }
    // True once a file was written or deleted: the caller must read the directory again.
    bool FilesChanged() const { return m_bFilesChanged; }
    QWidget* Control(int id) const { return m_controls[id]; }
    CReportList* List() const { return m_list; }

    // The commands of the dialog, also reached by buttons, double-clicks and the menu.
    void ChooseEnvironment(int index);
    void NewEnvironment();
    void DeleteEnvironment();
    bool Save();
    void AddBoard();
    void BoardDetails(int focusControl = -1);
    void DeleteBoard();
    std::vector<MenuCommand> ContextCommands();
    void Copy();
    void Cut();
    void Paste();

    // The working environment differs from its saved copy (or is new).
    bool IsChanged() const;

    void accept() override;
    void reject() override;

private:
    void BuildControls();
    void UpdateButtons();
    void ListBoards();
    void ShowRow(int row);
    void SelectEnvironment(int index);
    // Asks message 32 when the working environment has boards and changes;
    // false when the user cancels or the save fails.
    bool SaveChangesFirst();
    void ShowPath();
    // The mode the board dialog runs in: read-only where boards cannot change.
    int BoardDialogMode() const;

    int m_nMode;
    std::vector<CEnvDef> m_envs;
    int m_nSel = -1;
    CEnvDef m_work;
    bool m_bFilesChanged = false;
    CControlTable m_controls;

    QComboBox* m_envList = nullptr;
    QPushButton* m_new = nullptr;
    QPushButton* m_deleteEnv = nullptr;
    QPushButton* m_load = nullptr;
    QPushButton* m_save = nullptr;
    CStateLabel* m_path = nullptr;
    CReportList* m_list = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_details = nullptr;
    QPushButton* m_deleteBoard = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};
