#pragma once
// CReplyDlg: the "Reply" dialog. Shows an identification answer as a table,
// one row per answer sentence (number, hardware, software, port, and an image
// where a new board begins). "<-->" widens it to show the raw sentences.
// With auto-close it beeps and closes itself after kAutoCloseMs.
#include <QDialog>
#include <QPixmap>
#include <QRect>
#include <QTimer>

#include <map>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;
class CColorLabel;

class CReplyDlg : public QDialog {
    Q_OBJECT
public:
    // Control ids of the window.
    enum { IDC_OK = 1, IDC_WIDEN = 431, IDC_RAW_TEXT = 432, IDC_LIST = 394 };
    static constexpr int kAutoCloseMs = 1500;
    // Item data role of column 0 holding the row's image index (-1 none).
    static constexpr int kImageRole = Qt::UserRole + 1;

    explicit CReplyDlg(QWidget* parent = nullptr);

    // The answer to show (CR LF ended sentences) and whether the dialog
    // closes itself. Call before show()/exec(); the table is built when shown.
    void SetAnswer(const std::string& answer, bool autoClose);
    void EnableOk(bool enable);
    // A status line under the rows (the health check's verdict and next
    // steps); empty shows none. Call before show().
    void SetStatus(const std::string& text);
    QString StatusText() const;

    QWidget* Control(int id) const;
    // The full text shown beside the table by "<-->".
    QString RawText() const;
    bool IsWide() const { return width() != m_initialSize.width(); }

    void setVisible(bool visible) override;

private:
    void BuildControls();
    void PlaceTemplateControls();
    void Initialise();
    void FillRows();
    void GrowForRows(int rows);
    void PlaceStatus();
    void RememberInitialGeometry();
    void CentreOnOwner();
    void ToggleWide();
    QIcon RowIcon(int image) const;
    QRect Available() const;

    std::string m_strAnswer;
    bool m_bAutoClose = false;
    bool m_bInitialised = false;
    int m_nWidest = 0;   // width of the widest answer line, in pixels

    QSize m_initialSize;
    QRect m_initialList;
    QRect m_initialOk;
    QRect m_initialWiden;

    std::vector<QPixmap> m_images;
    QTreeWidget* m_pList = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pWiden = nullptr;
    CColorLabel* m_pRawText = nullptr;
    QLabel* m_pStatus = nullptr;
    std::string m_strStatus;
    std::map<int, QWidget*> m_controls;
    QTimer m_closeTimer;
};
