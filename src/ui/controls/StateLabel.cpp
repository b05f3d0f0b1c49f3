#include "ui/controls/StateLabel.h"

namespace {

constexpr int kDefaultList = 0;
constexpr int kMatchList = 1;
constexpr int kFallbackList = 2;

}  // namespace

CStateLabel::CStateLabel(QWidget* parent) : CBlinkLabel(parent)
{
    setObjectName("stateLabel");
    setAccessibleName("State text");
    m_styles[kDefaultList].push_back(MakeMode(WindowText(), QColor(), BLINK_NONE, kDefaultList, {}));
    MakeCurrent(kDefaultList, 0);
}

CStateLabel::CStateLabel(const QString& text, QWidget* parent) : CStateLabel(parent)
{
    m_strText = text;
    setText(text);
}

CMode CStateLabel::MakeMode(const QColor& text, const QColor& background, int blink, int list,
                            const QString& match)
{
    return CMode{text, background, blink, list, match.left(CMode::kMaxMatch), true};
}

int CStateLabel::AddStyle(const QColor& text, const QColor& background, int blink, int list,
                          const QString& match)
{
    if (!ValidBlink(blink) || !ValidList(list))
        return -1;
    std::vector<CMode>& styles = m_styles[static_cast<size_t>(list)];
    const CMode mode = MakeMode(text, background, blink, list, match);
    if (list == kFallbackList && !styles.empty()) {
        styles.front() = mode;
        // The replaced style may be the one shown: show its successor.
        if (m_nCurrentList == kFallbackList)
            MakeCurrent(kFallbackList, 0);
        return 0;
    }
    styles.push_back(mode);
    return static_cast<int>(styles.size()) - 1;
}

int CStateLabel::SetDefaultStyle(const QColor& text, const QColor& background, int blink, int list,
                                 const QString& match)
{
    if (list != kDefaultList || !ValidBlink(blink))
        return -1;
    std::vector<CMode>& defaults = m_styles[kDefaultList];
    const CMode mode = MakeMode(text, background, blink, list, match);
    int index = -1;
    for (size_t i = 0; i < defaults.size() && index < 0; ++i) {
        if (defaults[i] == mode)
            index = static_cast<int>(i);
    }
    if (index < 0) {
        defaults.push_back(mode);
        index = static_cast<int>(defaults.size()) - 1;
    }
    MakeCurrent(kDefaultList, index);
    return index;
}

bool CStateLabel::SelectStyle(int index, int list)
{
    if (!ValidList(list) || index < 0 || index >= StyleCount(list))
        return false;
    MakeCurrent(list, index);
    return true;
}

int CStateLabel::StyleCount(int list) const
{
    return ValidList(list) ? static_cast<int>(m_styles[static_cast<size_t>(list)].size()) : 0;
}

int CStateLabel::MatchingStyle(const QString& text) const
{
    const std::vector<CMode>& styles = m_styles[kMatchList];
    for (size_t i = 0; i < styles.size(); ++i) {
        if (text.contains(styles[i].match))
            return static_cast<int>(i);
    }
    return -1;
}

void CStateLabel::SetText(const QString& text)
{
    if (text != m_strText) {
        m_strText = text;
        const int match = MatchingStyle(text);
        if (match >= 0)
            MakeCurrent(kMatchList, match);
        else if (m_nCurrentList != kFallbackList && StyleCount(kFallbackList) > 0)
            MakeCurrent(kFallbackList, 0);
    }
    setText(text);
}

void CStateLabel::MakeCurrent(int list, int index)
{
    const CMode& mode = m_styles[static_cast<size_t>(list)][static_cast<size_t>(index)];
    m_nCurrentList = list;
    m_nCurrentIndex = index;
    FlashText(false);   // the previous style's blinking stops
    SetColors(mode.text, mode.background);
    if (mode.blink == BLINK_TEXT)
        FlashText(true);
    else if (mode.blink == BLINK_BACKGROUND)
        FlashBackground(true);
}
