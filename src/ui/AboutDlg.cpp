#include "ui/AboutDlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStorageInfo>
#include <QVBoxLayout>

#include <unistd.h>

#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "ui/Artwork.h"
#include "ui/DialogUnits.h"
#include "ui/Sounds.h"
#include "ui/controls/ColorLabel.h"
#include "ui/controls/StateLabel.h"

namespace {

constexpr int kAboutSound = 177;
constexpr std::uint64_t kMegabyte = 1048576;
const QColor kVersionBackground(185, 181, 181);
const QColor kLinkColour(0, 0, 255);
const char* const kNotice = "Copyright (C) Tavrel developers. Loads software releases into navigation receivers.";

QLabel* NamedLabel(const QString& text, const char* name, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAccessibleName(text.simplified());
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName("aboutDialog");
    setAccessibleName("About Tavrel");
    setWindowTitle("About Tavrel");
    PlayWaveResource(kAboutSound);
    Build();
}

std::string CAboutDlg::MegabytesText(std::uint64_t bytes)
{
    return FormatString(103, {std::to_string(bytes / kMegabyte)});
}

std::uint64_t CAboutDlg::PhysicalMemoryBytes()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

// Free space in 64 bits: a disk of more than 4 GB free would wrap in 32.
QString CAboutDlg::DiskFreeText() const
{
    const QStorageInfo storage(QDir::currentPath());
    if (!storage.isValid() || !storage.isReady() || storage.bytesAvailable() < 0)
        return QString::fromStdString(GetString(105));
    return QString::fromStdString(MegabytesText(static_cast<std::uint64_t>(storage.bytesAvailable())));
}

void CAboutDlg::Build()
{
    const CDialogUnits du = CDialogUnits::Of(this);
    auto* picture = new QLabel(this);
    picture->setObjectName("aboutPicture");
    picture->setAccessibleName("Tavrel");
    picture->setPixmap(AboutBitmap(devicePixelRatioF()));
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_version = new CStateLabel(this);
    m_version->setObjectName("versionText");
    m_version->setAccessibleName("Version");
    m_version->SetDefaultStyle(Qt::black, kVersionBackground);
    m_version->SetBold(true);
    m_version->SetText(QString::fromStdString(App().m_strVersion));
    m_version->setMinimumWidth(du.X(70));

    auto* heading = new QGridLayout;
    heading->addWidget(NamedLabel("Tavrel  version", "versionLabel", this), 0, 0);
    heading->addWidget(m_version, 0, 1);
    auto* notice = NamedLabel(kNotice, "noticeText", this);
    notice->setWordWrap(true);
    heading->addWidget(notice, 1, 0, 1, 2);

    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(heading, 1);

    m_memory = NamedLabel(QString::fromStdString(MegabytesText(PhysicalMemoryBytes())), "memoryText", this);
    m_disk = NamedLabel(DiskFreeText(), "diskText", this);
    for (QLabel* figure : {m_memory, m_disk}) {
        figure->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        figure->setFont(QFont("monospace"));
    }
    auto* figures = new QGridLayout;
    figures->addWidget(NamedLabel("Physical Memory Available to Windows  :", "memoryLabel", this), 0, 0);
    figures->addWidget(m_memory, 0, 1);
    figures->addWidget(NamedLabel("Disk Free Space                                     :", "diskLabel", this),
                       1, 0);
    figures->addWidget(m_disk, 1, 1);

    auto* rule = new QFrame(this);
    rule->setObjectName("rule");
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    m_web = new CColorLabel(this);
    m_web->setObjectName("webLink");
    m_web->setAccessibleName("Web site");
    m_web->setText(QString::fromStdString(App().m_strWebSite));
    m_web->SetTextColor(kLinkColour);
    m_web->SetUnderline(true);
    m_web->EnableLink(true);
    m_web->SetLinkCursor(QCursor(Qt::PointingHandCursor));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setObjectName("buttons");
    buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName("OK");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(du.Y(6));
    layout->addLayout(figures);
    layout->addWidget(rule);
    layout->addWidget(m_web, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumSize(du.Size(kWidthDu, kHeightDu));
}

QWidget* CAboutDlg::Control(int id) const
{
    switch (id) {
    case IDC_ABOUT_VERSION: return m_version;
    case IDC_ABOUT_WEB: return m_web;
    case IDC_ABOUT_MEMORY: return m_memory;
    case IDC_ABOUT_DISK: return m_disk;
    default: return nullptr;
    }
}

void CAboutDlg::showEvent(QShowEvent* event)
{
    // The sound plays once more when the box opens.
    if (!m_bShownOnce) PlayWaveResource(kAboutSound);
    m_bShownOnce = true;
    QDialog::showEvent(event);
}
