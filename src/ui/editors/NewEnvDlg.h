#pragma once
// CNewEnvDlg ("Create a new environment"): asks for the name of a new
// environment; OK needs a name.
#include <QDialog>

#include <string>

class QLineEdit;

inline constexpr int IDC_NEW_ENV_NAME = 339;

class CNewEnvDlg : public QDialog {
    Q_OBJECT
public:
    explicit CNewEnvDlg(QWidget* parent = nullptr);

    std::string Name() const;
    QLineEdit* NameEdit() const { return m_name; }

    void accept() override;

private:
    QLineEdit* m_name;
};
