#pragma once
// The About box: the program's picture, its version, the memory of the
// machine, the free space of the current folder's disk and the maker's web
// address as a link.
#include <QDialog>

#include <cstdint>
#include <string>

class CColorLabel;
class CStateLabel;
class QLabel;

enum AboutControl {
    IDC_ABOUT_VERSION_LABEL = 174,
    IDC_ABOUT_DISK = 276,
    IDC_ABOUT_MEMORY = 277,
    IDC_ABOUT_WEB = 424,
    IDC_ABOUT_VERSION = 430,
};

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWidthDu = 202;
    static constexpr int kHeightDu = 170;

    explicit CAboutDlg(QWidget* parent = nullptr);
    QWidget* Control(int id) const;

    // "%4d Mb" of a byte count (string 103), in whole megabytes.
    static std::string MegabytesText(std::uint64_t bytes);
    // Total physical memory, or 0 when the system does not tell.
    static std::uint64_t PhysicalMemoryBytes();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Build();
    QString DiskFreeText() const;

    CStateLabel* m_version = nullptr;
    CColorLabel* m_web = nullptr;
    QLabel* m_memory = nullptr;
    QLabel* m_disk = nullptr;
    bool m_bShownOnce = false;
};
