#pragma once
// The "Change communication" window on its logic (CChangeCommDlg), the first
// step of a Repair: the board, the port of its parent board, the new rate.
#include <QDialog>

#include "link/ChangeComm.h"
#include "ui/link/LinkControls.h"

class QComboBox;
class QLabel;
class QPushButton;

class CChangeCommWindow : public QDialog {
    Q_OBJECT
public:
    enum Control {
        CTRL_RUN = CChangeCommDlg::CTRL_RUN,
        CTRL_CANCEL = 2,
        CTRL_BOARD_LIST = CChangeCommDlg::CTRL_BOARD_LIST,
        CTRL_PORT_LIST = CChangeCommDlg::CTRL_PORT_LIST,
        CTRL_PORT_LABEL = CChangeCommDlg::CTRL_PORT_LABEL,
        CTRL_RATE_LIST = CChangeCommDlg::CTRL_RATE_LIST,
        CTRL_RATE_LABEL = CChangeCommDlg::CTRL_RATE_LABEL,
    };
    static constexpr int kWidthUnits = 157;   // template size in dialog units
    static constexpr int kHeightUnits = 135;

    // `logic` has been set up and initialised.
    CChangeCommWindow(CChangeCommDlg& logic, QWidget* parent);
    QWidget* Control(int id) const { return m_controls.Control(id); }

public slots:
    // "Run": only while the logic enables it.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void LayOutControls();
    // The lists show the logic's choices; the enabling rule is applied.
    void ShowChoices();

    CChangeCommDlg& m_logic;
    CLinkControls m_controls;
    QComboBox* m_pBoardList = nullptr;
    QComboBox* m_pPortList = nullptr;
    QComboBox* m_pRateList = nullptr;
    QLabel* m_pPortLabel = nullptr;
    QLabel* m_pRateLabel = nullptr;
    QPushButton* m_pRun = nullptr;
    bool m_bShowing = false;   // the lists are being set from the logic
    bool m_bFocusPlaced = false;
};
