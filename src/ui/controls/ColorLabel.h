#pragma once
// CColorLabel: a coloured static text that can act as a link. While the link
// is enabled a left click hands the text to the desktop's "open" action (a
// web address opens in the browser) and the link cursor shows over it.
#include <QCursor>
#include <QUrl>

#include <optional>

#include "ui/controls/BlinkLabel.h"

class CColorLabel : public CBlinkLabel {
    Q_OBJECT
public:
    explicit CColorLabel(QWidget* parent = nullptr);
    CColorLabel(const QString& text, QWidget* parent = nullptr);

    void EnableLink(bool enable);
    void SetLinkCursor(const QCursor& cursor);
    bool IsLinkEnabled() const { return m_bLink; }

    // The address a click opens for `text`: a web address (http or https,
    // or a bare host name). Anything else, such as a local file or another
    // program's scheme, is never handed to the desktop.
    static std::optional<QUrl> WebAddress(const QString& text);

    // linkActivated (QLabel's signal) carries the text of each click on an
    // enabled link, whether or not it is a web address.

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void ApplyCursor();

    bool m_bLink = true;
    std::optional<QCursor> m_linkCursor;
};
