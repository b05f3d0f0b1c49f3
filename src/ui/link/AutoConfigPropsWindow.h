#pragma once
// The "Auto configure properties" window on its logic (CAutoConfigPropsDlg):
// the search range and the time limit of auto-configure.
#include <QDialog>
#include <QSpinBox>

#include "link/AutoConfig.h"
#include "ui/link/LinkControls.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

// The time limit in seconds, shown as "45s", "2min" or "1min 35s". Its arrows
// step through the logic's rule (5 s a step, 10 s to 600 s); a time typed in
// either form, or as plain seconds, is kept within 10 s to 600 s.
class CTimeSpinBox : public QSpinBox {
    Q_OBJECT
public:
    CTimeSpinBox(CAutoConfigPropsDlg& logic, QWidget* parent);
    QLineEdit* TimeText() const { return lineEdit(); }
    void stepBy(int steps) override;
    // Seconds from "1min 35s", "2min", "45s" or "45"; -1 when none.
    static int ParseTime(const QString& text);

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& pos) const override;

private:
    CAutoConfigPropsDlg& m_logic;
};

class CAutoConfigPropsWindow : public QDialog {
    Q_OBJECT
public:
    enum Control {
        CTRL_OK = 1,
        CTRL_CANCEL = 2,
        CTRL_MIN_LIST = 404,
        CTRL_MAX_LIST = 405,
        CTRL_TIME_OUT = 407,
        CTRL_SPIN = 408,
        CTRL_TIME_TEXT = 414,
    };

    CAutoConfigPropsWindow(CAutoConfigPropsDlg& logic, QWidget* parent);
    QWidget* Control(int id) const { return m_controls.Control(id); }

public slots:
    // "OK": closes only with a compatible range (message 150 otherwise).
    void accept() override;

private:
    void CreateControls();
    void LayOutControls();
    QComboBox* AddRateList(int id, const char* name, const QString& accessibleName, int rate);
    void EnableTime(bool on);

    CAutoConfigPropsDlg& m_logic;
    CLinkControls m_controls;
    QComboBox* m_pMinList = nullptr;
    QComboBox* m_pMaxList = nullptr;
    QCheckBox* m_pTimeOut = nullptr;
    CTimeSpinBox* m_pSpin = nullptr;
};
