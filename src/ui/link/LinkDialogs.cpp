#include "ui/link/LinkDialogs.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include "link/SerialLink.h"
#include "ui/link/AutoConfigPropsWindow.h"
#include "ui/link/AutoConfigWindow.h"
#include "ui/link/ChangeCommWindow.h"
#include "ui/link/CommunicationWindow.h"

int ExecCommunicationDialog(CCommunicationDlg& logic, QWidget* parent)
{
    CCommunicationWindow window(logic, parent);
    return window.exec() == QDialog::Accepted ? CCommunicationDlg::RESULT_OK : CCommunicationDlg::RESULT_CANCEL;
}

int ExecChangeCommDialog(CChangeCommDlg& logic, QWidget* parent)
{
    CChangeCommWindow window(logic, parent);
    return window.exec() == QDialog::Accepted ? CChangeCommDlg::RESULT_RUN : CChangeCommDlg::RESULT_CANCEL;
}

IAutoConfigView* CreateIdentDialogWindow(QWidget* parent) { return new CAutoConfigWindow(parent); }

namespace {

void Grab(QWidget& window, const QString& dir, const char* name)
{
    window.adjustSize();
    window.show();
    QApplication::processEvents();
    const QString path = QDir(dir).filePath(QString::fromLatin1(name) + ".png");
    if (!window.grab().save(path)) qWarning("cannot write %s", qPrintable(path));
    window.hide();
}

}  // namespace

void GrabLinkDialogs(const QString& dir)
{
    CSerialLink link;
    link.SetPortNumber(2);
    link.SetBaudRate(57600);
    CCommunicationDlg communication(link);
    communication.m_nPortIndex = 1;
    communication.m_nBaudIndex = 6;
    communication.m_bShowAtStartUp = true;
    communication.m_bAutoConfigAllowed = true;
    CCommunicationWindow communicationWindow(communication, nullptr);
    Grab(communicationWindow, dir, "communication");

    CChangeCommDlg changeComm;
    changeComm.SetUp(true, true, {{"CPU", true, 0, 7}, {"GPS", false, 1, 4}, {"DSP", false, 8, -1}}, 3);
    changeComm.Initialise();
    changeComm.OnBoardChanged(2);
    CChangeCommWindow changeCommWindow(changeComm, nullptr);
    Grab(changeCommWindow, dir, "change-communication");

    CAutoConfigWindow search(nullptr);
    search.SetTitle("Query auto configure");
    search.EnableLockOption(true);
    search.SetLockChecked(false);
    search.SetProgressRange(18);
    for (int step = 0; step < 4; ++step) search.StepProgress();
    search.SetConnectionText("COM2,19200,n,8,2");
    search.SetLedImage(0, LED_IMAGE_FAILED);
    search.SetLedImage(1, LED_IMAGE_BLINK_A);
    search.SetLedImage(2, LED_IMAGE_IDLE);
    search.ShowLed(3, false);
    Grab(search, dir, "auto-configure");

    CAutoConfigPropsDlg properties(4800, 115200, 95);
    CAutoConfigPropsWindow propertiesWindow(properties, nullptr);
    Grab(propertiesWindow, dir, "auto-configure-properties");
}
