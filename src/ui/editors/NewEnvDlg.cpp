#include "ui/editors/NewEnvDlg.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Host.h"
#include "ui/DialogUnits.h"
#include "ui/editors/EditorCommon.h"

namespace {
constexpr int kDialogWidth = 197;
constexpr int kDialogHeight = 55;
// The longest environment name taken: a text of the archive's short form.
constexpr int kNameMax = 254;
}   // namespace

CNewEnvDlg::CNewEnvDlg(QWidget* parent) : QDialog(parent), m_name(new QLineEdit(this))
{
    setObjectName(QStringLiteral("newEnvironmentDialog"));
    setWindowTitle(QStringLiteral("Create a new environment"));
    LimitEdit(m_name, kNameMax);
    NameControl(m_name, "environmentName", QStringLiteral("Environment name"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    NameControl(buttons->button(QDialogButtonBox::Ok), "ok", QStringLiteral("OK"));
    NameControl(buttons->button(QDialogButtonBox::Cancel), "cancel", QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CNewEnvDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CNewEnvDlg::reject);
    auto* main = new QVBoxLayout(this);
    main->addWidget(m_name);
    main->addStretch(1);
    main->addWidget(buttons);
    resize(CDialogUnits::Of(this).Size(kDialogWidth, kDialogHeight));
    m_name->setFocus();
}

std::string CNewEnvDlg::Name() const { return StdStr(m_name->text()); }

void CNewEnvDlg::accept()
{
    if (m_name->text().isEmpty()) {
        Host().Beep(BEEP_EXCLAMATION);
        m_name->setFocus();
        return;
    }
    QDialog::accept();
}
