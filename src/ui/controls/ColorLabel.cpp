#include "ui/controls/ColorLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>

CColorLabel::CColorLabel(QWidget* parent) : CBlinkLabel(parent)
{
    setObjectName("colorLabel");
    setAccessibleName("Colour text");
}

CColorLabel::CColorLabel(const QString& text, QWidget* parent) : CColorLabel(parent)
{
    setText(text);
}

void CColorLabel::EnableLink(bool enable)
{
    m_bLink = enable;
    ApplyCursor();
}

void CColorLabel::SetLinkCursor(const QCursor& cursor)
{
    m_linkCursor = cursor;
    ApplyCursor();
}

void CColorLabel::ApplyCursor()
{
    if (m_bLink && m_linkCursor)
        setCursor(*m_linkCursor);
    else
        unsetCursor();
}

std::optional<QUrl> CColorLabel::WebAddress(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith('/') || trimmed.startsWith('.') || trimmed.startsWith('~'))
        return std::nullopt;   // a path, which fromUserInput would make a local file
    const QUrl url = QUrl::fromUserInput(trimmed);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != "http" && scheme != "https"))
        return std::nullopt;
    return url;
}

void CColorLabel::mousePressEvent(QMouseEvent* event)
{
    if (m_bLink && event->button() == Qt::LeftButton) {
        const QString address = text();
        emit linkActivated(address);
        if (const std::optional<QUrl> url = WebAddress(address))
            QDesktopServices::openUrl(*url);
    }
    CBlinkLabel::mousePressEvent(event);
}
