#pragma once
// The "Communication" window on its logic (CCommunicationDlg): the PC's port
// and initial rate, the "Auto-configure" search with its "..." properties,
// and whether the window opens at start-up.
#include <QDialog>

#include "link/ChangeComm.h"
#include "ui/link/LinkControls.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class CCommunicationWindow : public QDialog {
    Q_OBJECT
public:
    enum Control {
        CTRL_OK = 1,
        CTRL_CANCEL = 2,
        CTRL_CONNECTION = 259,
        CTRL_RATE_LIST = 294,
        CTRL_PORT_LIST = 296,
        CTRL_SHOW_AT_START_UP = 399,
        CTRL_AUTO_CONFIGURE = 401,
        CTRL_PROPERTIES = 413,
    };
    static constexpr int kWidthUnits = 168;   // template size in dialog units
    static constexpr int kHeightUnits = 129;

    // `logic` has been initialised from the link and the settings.
    CCommunicationWindow(CCommunicationDlg& logic, QWidget* parent);
    QWidget* Control(int id) const { return m_controls.Control(id); }

public slots:
    void accept() override;
    // "Auto-configure" (or "Query"): the search, then the Reply dialog or message 93.
    void OnAutoConfigure();
    // "...": the properties of the search, stored on "OK".
    void OnProperties();

private:
    void CreateControls();
    void LayOutControls();
    // The chosen port and rate go to the logic (and the link); the texts follow.
    void ReadControls();
    void ShowChoices();

    CCommunicationDlg& m_logic;
    CLinkControls m_controls;
    QComboBox* m_pPortList = nullptr;
    QComboBox* m_pRateList = nullptr;
    QLabel* m_pConnection = nullptr;
    QPushButton* m_pAutoConfigure = nullptr;
    QPushButton* m_pProperties = nullptr;
    QCheckBox* m_pShowAtStartUp = nullptr;
    bool m_bShowing = false;   // the lists are being set from the logic
};
