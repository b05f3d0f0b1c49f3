#pragma once
// CTransferDlg ("Transfer"): the request editor. Lists the board lines of a
// new request (mode 1) or of the loaded one (mode 2; mode 3 shows it without
// edit rights), all in one environment. Works on its own copy of the lines;
// on OK in modes 1 and 2 the caller takes Lines().
#include <QDialog>

#include <vector>

#include "model/BoardConf.h"
#include "ui/editors/EditorCommon.h"

class QComboBox;
class QPushButton;

inline constexpr int TRANSFER_MODE_NEW = 1;
inline constexpr int TRANSFER_MODE_EDIT = 2;
inline constexpr int TRANSFER_MODE_VIEW = 3;

enum TransferDlgControl {
    IDC_TRANSFER_ENVIRONMENT = 324,
    IDC_TRANSFER_LIST = 313,
    IDC_TRANSFER_ADD = 314,
    IDC_TRANSFER_DELETE = 315,
    IDC_TRANSFER_DETAILS = 316,
    IDC_TRANSFER_OK = 1,
    IDC_TRANSFER_CANCEL = 2,
};

// Context menu 110 of the request editor.
enum TransferMenuCommand {
    ID_LINES_CUT = 32857,
    ID_LINES_COPY = 32858,
    ID_LINES_PASTE = 32859,
    ID_LINES_DETAILS = 32860,
    ID_LINES_BOARD_DEFINITION = 32861,
};

// True when the two lists differ: other count, or a line IsDifferent.
bool LinesDiffer(const std::vector<CBoardConf>& a, const std::vector<CBoardConf>& b);

class CTransferDlg : public QDialog {
    Q_OBJECT
public:
    // `environments` (g_envList) and `requestLines` must outlive the dialog;
    // the request's lines are listed in modes 2 and 3.
    CTransferDlg(int mode, const std::vector<CEnvDef>& environments, const std::vector<CBoardConf>& requestLines,
                 QWidget* parent = nullptr);

    const std::vector<CBoardConf>& Lines() const { return m_lines; }
    QWidget* Control(int id) const { return m_controls[id]; }
    CReportList* List() const { return m_list; }
    int SelectedEnvironment() const { return m_nSel; }

    // The commands of the dialog, also reached by buttons, double-clicks and the menu.
    void ChooseEnvironment(int index);
    void Add();
    void Details();
    void Delete();
    void ShowBoardDefinition();
    std::vector<MenuCommand> ContextCommands();
    void Copy();
    void Cut();
    void Paste();

    void accept() override;

private:
    void BuildControls();
    void UpdateButtons();
    void ListLines();
    void ShowRow(int row);
    // Completes a line made by the line dialog for the working environment.
    void CompleteLine(CBoardConf& line) const;
    // The line Details works on: the only one, else the selected one; -1 when none.
    int DetailsRow() const;
    bool IsViewOnly() const { return m_nMode == TRANSFER_MODE_VIEW; }

    int m_nMode;
    const std::vector<CEnvDef>& m_envs;
    const std::vector<CBoardConf>& m_requestLines;
    std::vector<CBoardConf> m_lines;
    int m_nSel = -1;
    CEnvDef m_work;
    CControlTable m_controls;

    QComboBox* m_envList = nullptr;
    CReportList* m_list = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_details = nullptr;
    QPushButton* m_ok = nullptr;
};
