#pragma once
// CStateLabel: a coloured static text whose look follows a list of styles.
// Styles live in three lists: list 0 holds the default styles, list 1 styles
// chosen by a match text the shown text contains, list 2 at most one style
// taken when a new text matches nothing. It does not react to clicks.
#include <QString>

#include <array>
#include <vector>

#include "ui/controls/BlinkLabel.h"

// One style of a CStateLabel.
struct CMode {
    static constexpr int kMaxMatch = 79;   // characters of the match text

    QColor text;
    QColor background;   // invalid: button face
    int blink = CBlinkLabel::BLINK_NONE;
    int list = 0;
    QString match;
    bool inUse = true;

    bool operator==(const CMode&) const = default;
};

class CStateLabel : public CBlinkLabel {
    Q_OBJECT
public:
    static constexpr int kLists = 3;

    explicit CStateLabel(QWidget* parent = nullptr);
    // Starts with `text` shown and kept (no style rule runs).
    CStateLabel(const QString& text, QWidget* parent = nullptr);

    // Its index in `list`, or -1 when blink or list is not 0 to 2. List 2
    // holds one style: a new one replaces it (index 0).
    int AddStyle(const QColor& text, const QColor& background, int blink, int list, const QString& match = {});
    // An equal style of list 0, else a new one, made current; -1 when list is
    // not 0 or blink is not 0 to 2.
    int SetDefaultStyle(const QColor& text, const QColor& background, int blink = 0, int list = 0,
                         const QString& match = {});
    bool SelectStyle(int index, int list);
    // A text that differs from the kept one picks the first list-1 style whose
    // match text it contains, else (unless a list-2 style is current) the
    // list-2 style. The text is shown in every case.
    void SetText(const QString& text);
    QString Text() const { return m_strText; }

    int StyleCount(int list) const;
    int CurrentStyleList() const { return m_nCurrentList; }
    int CurrentStyleIndex() const { return m_nCurrentIndex; }

private:
    static bool ValidBlink(int blink) { return blink >= BLINK_NONE && blink <= BLINK_BACKGROUND; }
    static bool ValidList(int list) { return list >= 0 && list < kLists; }
    static CMode MakeMode(const QColor& text, const QColor& background, int blink, int list, const QString& match);
    int MatchingStyle(const QString& text) const;
    void MakeCurrent(int list, int index);

    std::array<std::vector<CMode>, kLists> m_styles;
    int m_nCurrentList = 0;
    int m_nCurrentIndex = 0;
    QString m_strText;
};
