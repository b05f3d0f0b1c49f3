// The lamps, labels and animation of src/ui/controls: their timing, their
// refusals and what they paint.
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ui/controls/Animation.h"
#include "ui/controls/ColorLabel.h"
#include "ui/controls/Indicator.h"
#include "ui/controls/Led.h"
#include "ui/controls/StateLabel.h"
#include "ui/controls/StripRender.h"

namespace {

const char* const kLedStrip = ":/bitmaps/133.svg";

// Pumps events until `done` holds or `timeoutMs` has passed.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QTest::qWait(1);
    }
    return true;
}

QColor PixelAt(QWidget& widget, QPoint point)
{
    const QImage image = widget.grab().toImage();
    const qreal dpr = image.devicePixelRatio();
    return image.pixelColor(QPoint(static_cast<int>(point.x() * dpr), static_cast<int>(point.y() * dpr)));
}

// Milliseconds, fractional: timers are checked against their lower bound.
double Ms(const QElapsedTimer& clock) { return static_cast<double>(clock.nsecsElapsed()) / 1e6; }

// Receives what QDesktopServices::openUrl hands to the desktop, so no
// browser or file manager starts during the tests.
class CUrlRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kSchemes[] = {"http", "https", "file", "mailto", "ftp", "javascript"};
    CUrlRecorder()
    {
        for (const char* scheme : kSchemes) QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~CUrlRecorder() override
    {
        for (const char* scheme : kSchemes) QDesktopServices::unsetUrlHandler(scheme);
    }
    std::vector<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

}  // namespace

// --- CIndicator --------------------------------------------------------------------

TEST(Indicator, FlashLightsAtOnceAndGoesDarkAfter80Ms)
{
    CIndicator lamp(QColor(255, 0, 0));
    lamp.resize(20, 8);
    lamp.show();
    EXPECT_FALSE(lamp.IsOn());
    EXPECT_EQ(PixelAt(lamp, {10, 4}), CIndicator::kOffColour);

    QElapsedTimer clock;
    clock.start();
    lamp.SetOn(true);
    EXPECT_TRUE(lamp.IsOn());
    EXPECT_EQ(PixelAt(lamp, {10, 4}), QColor(255, 0, 0));
    EXPECT_EQ(PixelAt(lamp, {0, 0}), CIndicator::kOffColour);   // the 1-pixel border
    ASSERT_TRUE(WaitUntil([&] { return !lamp.IsOn(); }, 3000));
    EXPECT_GE(Ms(clock), CIndicator::kFlashMs - 1);
    EXPECT_EQ(PixelAt(lamp, {10, 4}), CIndicator::kOffColour);
}

TEST(Indicator, SecondFlashRestartsTheTimer)
{
    CIndicator lamp(QColor(0, 255, 0));
    lamp.show();
    QElapsedTimer clock;
    clock.start();
    lamp.SetOn(true);
    QTest::qWait(40);
    if (Ms(clock) < CIndicator::kFlashMs - 10) {
        EXPECT_TRUE(lamp.IsOn());
    }
    const double second = Ms(clock);
    lamp.SetOn(true);
    ASSERT_TRUE(WaitUntil([&] { return !lamp.IsOn(); }, 3000));
    EXPECT_GE(Ms(clock) - second, CIndicator::kFlashMs - 1);
}

TEST(Indicator, OffStopsTheFlashAndColourChangesShow)
{
    CIndicator lamp(QColor(255, 0, 0));
    lamp.resize(20, 8);
    lamp.show();
    lamp.SetOn(true);
    lamp.SetColor(QColor(0, 0, 255));
    EXPECT_EQ(PixelAt(lamp, {10, 4}), QColor(0, 0, 255));
    lamp.SetOn(false);
    EXPECT_FALSE(lamp.IsOn());
    EXPECT_EQ(PixelAt(lamp, {10, 4}), CIndicator::kOffColour);
    lamp.SetColor(QColor(0, 255, 0));   // off: stays grey
    EXPECT_EQ(PixelAt(lamp, {10, 4}), CIndicator::kOffColour);
}

// --- RenderStrip / CutStrip ----------------------------------------------------------

TEST(StripRender, RendersAtTheRatioAndRefusesBadRequests)
{
    const QPixmap strip = RenderStrip(kLedStrip, 13, 13, 5, 2.0);
    ASSERT_FALSE(strip.isNull());
    EXPECT_EQ(strip.size(), QSize(130, 26));
    EXPECT_EQ(strip.devicePixelRatio(), 2.0);
    EXPECT_EQ(CutStrip(strip, 13).size(), 5u);

    EXPECT_TRUE(RenderStrip(":/bitmaps/no-such.svg", 13, 13, 5, 1.0).isNull());
    EXPECT_TRUE(RenderStrip(kLedStrip, 0, 13, 5, 1.0).isNull());
    EXPECT_TRUE(RenderStrip(kLedStrip, 13, -1, 5, 1.0).isNull());
    EXPECT_TRUE(RenderStrip(kLedStrip, 13, 13, 0, 1.0).isNull());
    EXPECT_TRUE(RenderStrip(kLedStrip, 13, 13, 5, 0.0).isNull());
    EXPECT_TRUE(RenderStrip(kLedStrip, 100000, 13, 5, 1.0).isNull());
}

TEST(StripRender, MagentaBecomesTransparent)
{
    QImage image(26, 13, QImage::Format_RGB32);
    image.fill(QColor(0, 0, 255));
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 13; ++x) image.setPixelColor(x, y, QColor(255, 0, 255));
    const std::vector<QPixmap> images = CutStrip(QPixmap::fromImage(image), 13);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].toImage().pixelColor(5, 5).alpha(), 0);
    EXPECT_EQ(images[1].toImage().pixelColor(5, 5), QColor(0, 0, 255));
    EXPECT_TRUE(CutStrip(QPixmap::fromImage(image), 27).empty());
    EXPECT_TRUE(CutStrip(QPixmap(), 13).empty());
}

// --- CLed ----------------------------------------------------------------------------

class LedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(led.LoadSvg(kLedStrip, 13, 13, 5));
        led.show();
    }
    CLed led;
};

TEST_F(LedTest, SetStateResults)
{
    struct Case {
        int kind, a, b;
        int result, image;
        bool blinking;
    };
    const Case cases[] = {
        {1, 4, 0, 4, 4, false},    // steady on a valid image
        {1, 5, 0, -1, 1, false},   // beyond the strip: refused, unchanged
        {1, -1, 0, -1, 1, false},
        {2, 2, 5, -1, 1, false},   // a blink pair with one image beyond the strip
        {2, 7, 3, -1, 1, false},
        {2, -2, 3, -1, 1, false},
        {2, 2, 3, 2, 2, true},
        {0, 3, 3, 0, 0, false},    // kind 0: image 0 whatever the images
        {3, 1, 1, -1, 1, false},   // unknown kind
    };
    ASSERT_EQ(led.ImageCount(), 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " a " << c.a << " b " << c.b);
        led.SetState(1, 1);
        EXPECT_EQ(led.SetState(c.kind, c.a, c.b), c.result);
        EXPECT_EQ(led.Image(), c.image);
        EXPECT_EQ(led.IsBlinking(), c.blinking);
    }
}

TEST_F(LedTest, BlinkSwapsThePairAndASecondRequestChangesNothing)
{
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(led.SetState(2, 2, 3, 40), 2);
    ASSERT_TRUE(WaitUntil([&] { return led.Image() == 3; }, 3000));
    EXPECT_GE(Ms(clock), 39);
    // Already blinking: refused with 0, the first pair goes on.
    EXPECT_EQ(led.SetState(2, 0, 4, 10), 0);
    std::set<int> seen;
    int swaps = 0;
    int last = led.Image();
    ASSERT_TRUE(WaitUntil(
        [&] {
            seen.insert(led.Image());
            if (led.Image() != last) ++swaps, last = led.Image();
            return swaps >= 4;
        },
        5000));
    EXPECT_EQ(seen, (std::set<int>{2, 3}));
    // Steady stops it.
    EXPECT_EQ(led.SetState(1, 4), 4);
    EXPECT_FALSE(led.IsBlinking());
    QTest::qWait(100);
    EXPECT_EQ(led.Image(), 4);
}

TEST_F(LedTest, BlinkUsesTheGivenPeriodElseTheStoredOne)
{
    EXPECT_EQ(led.SetPeriod(0), 0);
    EXPECT_EQ(led.SetPeriod(-5), 0);
    EXPECT_EQ(led.Period(), CLed::kDefaultPeriodMs);
    EXPECT_EQ(led.SetPeriod(700), 1);

    QElapsedTimer clock;
    clock.start();
    led.SetState(2, 2, 3, 40);
    ASSERT_TRUE(WaitUntil([&] { return led.Image() == 3; }, 3000));
    EXPECT_LT(Ms(clock), 700);
    EXPECT_EQ(led.Period(), 700);   // a one-off period is not stored

    led.SetState(0);
    clock.restart();
    led.SetState(2, 2, 3);
    ASSERT_TRUE(WaitUntil([&] { return led.Image() == 3; }, 5000));
    EXPECT_GE(Ms(clock), 699);
}

TEST_F(LedTest, NextWrapsAndStopsBlinking)
{
    led.SetState(1, 3);
    EXPECT_EQ(led.Next(), 4);
    EXPECT_EQ(led.Next(), 0);
    led.SetState(2, 2, 3, 1000);
    EXPECT_EQ(led.Next(), 3);
    EXPECT_FALSE(led.IsBlinking());
}

TEST_F(LedTest, PaintsTheCurrentImage)
{
    led.resize(13, 13);
    const QPoint lower(8, 9);   // below the highlight of the lamp
    led.SetState(1, 4);         // failed: red
    const QColor failed = PixelAt(led, lower);
    EXPECT_GT(failed.red(), failed.green() + 80);
    led.SetState(1, 3);         // answered: green
    const QColor answered = PixelAt(led, lower);
    EXPECT_GT(answered.green(), answered.red() + 80);
}

TEST(Led, WithoutImagesNothingHappens)
{
    CLed led;
    EXPECT_EQ(led.SetState(1, 0), -1);
    EXPECT_EQ(led.SetState(0), -1);
    EXPECT_EQ(led.SetState(2, 0, 0), -1);
    EXPECT_EQ(led.Next(), 0);
    EXPECT_FALSE(led.IsBlinking());
    EXPECT_FALSE(led.Load(QPixmap(), 13));
    EXPECT_FALSE(led.Load(RenderStrip(kLedStrip, 13, 13, 5, 1.0), 0));
    EXPECT_FALSE(led.Load(RenderStrip(kLedStrip, 13, 13, 5, 1.0), 66));   // wider than the strip
    EXPECT_EQ(led.ImageCount(), 0);
}

// --- CColorLabel -----------------------------------------------------------------------

TEST(ColorLabel, WebAddressesOnly)
{
    struct Case {
        const char* text;
        const char* url;   // nullptr: never opened
    };
    const Case cases[] = {
        {"https://www.example.com/tavrel", "https://www.example.com/tavrel"},
        {"http://example.org", "http://example.org"},
        {"  www.example.com  ", "http://www.example.com"},
        {"", nullptr},
        {"/etc/passwd", nullptr},
        {"./run.sh", nullptr},
        {"~/notes.txt", nullptr},
        {"file:///etc/passwd", nullptr},
        {"mailto:someone@example.com", nullptr},
        {"javascript:alert(1)", nullptr},
        {"ftp://example.com/x", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<QUrl> url = CColorLabel::WebAddress(c.text);
        if (c.url)
            EXPECT_EQ(url, QUrl(c.url));
        else
            EXPECT_FALSE(url.has_value());
    }
}

TEST(ColorLabel, ClickOpensTheAddressOnlyWhileTheLinkIsEnabled)
{
    CUrlRecorder desktop;
    CColorLabel label("https://www.example.com/tavrel");
    label.resize(200, 20);
    label.show();
    QSignalSpy clicks(&label, &QLabel::linkActivated);

    label.EnableLink(false);
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_TRUE(desktop.opened.empty());
    EXPECT_EQ(clicks.count(), 0);

    label.EnableLink(true);
    QTest::mouseClick(&label, Qt::RightButton);
    EXPECT_TRUE(desktop.opened.empty());
    QTest::mouseClick(&label, Qt::LeftButton);
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(desktop.opened[0], QUrl("https://www.example.com/tavrel"));
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toString(), "https://www.example.com/tavrel");

    // A text that is not a web address is reported but not handed to the desktop.
    label.setText("file:///etc/passwd");
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(clicks.count(), 2);
}

TEST(ColorLabel, LinkCursorOnlyWhileTheLinkIsEnabled)
{
    CColorLabel label;
    EXPECT_TRUE(label.IsLinkEnabled());
    EXPECT_EQ(label.cursor().shape(), Qt::ArrowCursor);
    label.SetLinkCursor(QCursor(Qt::PointingHandCursor));
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    label.EnableLink(false);
    EXPECT_EQ(label.cursor().shape(), Qt::ArrowCursor);
    label.EnableLink(true);
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
}

TEST(ColorLabel, ColoursAndFont)
{
    CColorLabel label("text");
    EXPECT_EQ(label.TextColor(), CBlinkLabel::WindowText());
    EXPECT_EQ(label.BackgroundColor(), CBlinkLabel::ButtonFace());
    label.SetColors(QColor(0, 255, 0), QColor(0, 0, 0));
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(label.palette().color(QPalette::Window), QColor(0, 0, 0));
    label.SetColors(QColor(0, 0, 0), QColor());   // invalid: button face
    EXPECT_EQ(label.BackgroundColor(), CBlinkLabel::ButtonFace());
    label.SetBkColor(QColor(185, 181, 181));
    EXPECT_EQ(label.palette().color(QPalette::Window), QColor(185, 181, 181));

    label.SetBold(true);
    EXPECT_EQ(label.font().weight(), QFont::Bold);
    label.SetBold(false);
    EXPECT_EQ(label.font().weight(), QFont::Normal);
    label.SetUnderline(true);
    EXPECT_TRUE(label.font().underline());
}

TEST(ColorLabel, TextBlinkHidesTheTextEvery500Ms)
{
    CColorLabel label("blink");
    label.show();
    label.SetColors(QColor(255, 0, 0), QColor(0, 0, 0));
    QElapsedTimer clock;
    clock.start();
    label.FlashText(true);
    EXPECT_EQ(label.BlinkKind(), CBlinkLabel::BLINK_TEXT);
    EXPECT_EQ(label.ShownTextColor(), QColor(255, 0, 0));
    ASSERT_TRUE(WaitUntil([&] { return label.BlinkPhase(); }, 3000));
    EXPECT_GE(Ms(clock), CBlinkLabel::kBlinkMs - 1);
    EXPECT_EQ(label.ShownTextColor(), QColor(0, 0, 0));   // drawn in the background colour
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 0));
    label.FlashText(false);
    EXPECT_EQ(label.BlinkKind(), CBlinkLabel::BLINK_NONE);
    EXPECT_EQ(label.ShownTextColor(), QColor(255, 0, 0));
}

TEST(ColorLabel, BackgroundBlinkAlternatesWithTheButtonFace)
{
    CColorLabel label("blink");
    label.resize(60, 16);
    label.show();
    label.SetColors(QColor(255, 255, 255), QColor(255, 0, 0));
    label.FlashBackground(true);
    EXPECT_TRUE(label.BlinkPhase());
    EXPECT_EQ(PixelAt(label, {1, 1}), QColor(255, 0, 0));
    ASSERT_TRUE(WaitUntil([&] { return !label.BlinkPhase(); }, 3000));
    EXPECT_EQ(PixelAt(label, {1, 1}), CBlinkLabel::ButtonFace());
    // Text blinking takes over: one blink at a time.
    label.FlashText(true);
    EXPECT_EQ(label.BlinkKind(), CBlinkLabel::BLINK_TEXT);
    EXPECT_EQ(label.ShownBackground(), QColor(255, 0, 0));
}

// --- CStateLabel ------------------------------------------------------------------------

TEST(StateLabel, StartsOnTheDefaultStyle)
{
    CStateLabel label;
    EXPECT_EQ(label.StyleCount(0), 1);
    EXPECT_EQ(label.StyleCount(1), 0);
    EXPECT_EQ(label.StyleCount(2), 0);
    EXPECT_EQ(label.CurrentStyleList(), 0);
    EXPECT_EQ(label.CurrentStyleIndex(), 0);
    EXPECT_EQ(label.TextColor(), CBlinkLabel::WindowText());
    EXPECT_EQ(label.BackgroundColor(), CBlinkLabel::ButtonFace());
    CStateLabel named("0/0");
    EXPECT_EQ(named.Text(), "0/0");
    EXPECT_EQ(named.text(), "0/0");
}

TEST(StateLabel, AddStyleRefusesBadBlinkOrListAndKeepsOneStyleInList2)
{
    struct Case {
        int blink, list, result;
    };
    const Case refused[] = {{3, 0, -1}, {-1, 0, -1}, {0, 3, -1}, {0, -1, -1}};
    CStateLabel label;
    for (const Case& c : refused) EXPECT_EQ(label.AddStyle(Qt::red, QColor(), c.blink, c.list), c.result);
    EXPECT_EQ(label.AddStyle(Qt::red, QColor(), 0, 1, "Err"), 0);
    EXPECT_EQ(label.AddStyle(Qt::green, QColor(), 1, 1, "OK"), 1);
    EXPECT_EQ(label.AddStyle(Qt::blue, QColor(), 0, 0), 1);
    EXPECT_EQ(label.AddStyle(QColor(128, 0, 128), QColor(), 0, 2), 0);
    EXPECT_EQ(label.AddStyle(Qt::yellow, QColor(), 2, 2), 0);
    EXPECT_EQ(label.StyleCount(0), 2);
    EXPECT_EQ(label.StyleCount(1), 2);
    EXPECT_EQ(label.StyleCount(2), 1);
}

TEST(StateLabel, SetDefaultStyleReusesAnEqualStyle)
{
    CStateLabel label;
    EXPECT_EQ(label.SetDefaultStyle(QColor(0, 0, 255), QColor()), 1);
    EXPECT_EQ(label.TextColor(), QColor(0, 0, 255));
    EXPECT_EQ(label.SetDefaultStyle(QColor(0, 0, 0), QColor(185, 181, 181)), 2);
    EXPECT_EQ(label.SetDefaultStyle(QColor(0, 0, 255), QColor()), 1);   // equal: no new style
    EXPECT_EQ(label.CurrentStyleIndex(), 1);
    EXPECT_EQ(label.SetDefaultStyle(CBlinkLabel::WindowText(), QColor()), 0);   // the first default
    EXPECT_EQ(label.StyleCount(0), 3);
    EXPECT_EQ(label.SetDefaultStyle(Qt::red, QColor(), 0, 1), -1);
    EXPECT_EQ(label.SetDefaultStyle(Qt::red, QColor(), 3, 0), -1);
    EXPECT_EQ(label.StyleCount(0), 3);
}

TEST(StateLabel, SelectStyleAppliesColoursAndBlinking)
{
    CStateLabel label;
    label.AddStyle(QColor(255, 255, 255), QColor(255, 0, 0), 2, 1, "x");
    EXPECT_FALSE(label.SelectStyle(1, 1));
    EXPECT_FALSE(label.SelectStyle(-1, 1));
    EXPECT_FALSE(label.SelectStyle(0, 2));
    EXPECT_FALSE(label.SelectStyle(0, 3));
    ASSERT_TRUE(label.SelectStyle(0, 1));
    EXPECT_EQ(label.BackgroundColor(), QColor(255, 0, 0));
    EXPECT_EQ(label.BlinkKind(), CBlinkLabel::BLINK_BACKGROUND);
    ASSERT_TRUE(label.SelectStyle(0, 0));   // the previous style's blinking stops
    EXPECT_EQ(label.BlinkKind(), CBlinkLabel::BLINK_NONE);
    EXPECT_EQ(label.BackgroundColor(), CBlinkLabel::ButtonFace());
}

TEST(StateLabel, TextPicksTheStyle)
{
    const QColor blue(0, 0, 255), red(255, 0, 0), green(0, 128, 0), purple(128, 0, 128);
    CStateLabel label;
    label.SetDefaultStyle(blue, QColor());
    label.AddStyle(red, QColor(), 0, 1, "Error");
    label.AddStyle(green, QColor(), 0, 1, "OK");
    label.AddStyle(purple, QColor(), 0, 2);

    struct Step {
        const char* text;
        int list, index;
        QColor colour;
    };
    const Step steps[] = {
        {"Error 5", 1, 0, red},            // first matching list-1 style
        {"All OK", 1, 1, green},
        {"OK, Error", 1, 0, red},          // the first style in list order wins
        {"Searching", 2, 0, purple},       // no match: the list-2 style
        {"Searching again", 2, 0, purple}, // already on list 2: stays
        {"Error", 1, 0, red},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.text);
        label.SetText(s.text);
        EXPECT_EQ(label.Text(), s.text);
        EXPECT_EQ(label.text(), s.text);
        EXPECT_EQ(label.CurrentStyleList(), s.list);
        EXPECT_EQ(label.CurrentStyleIndex(), s.index);
        EXPECT_EQ(label.TextColor(), s.colour);
    }
}

TEST(StateLabel, SameTextKeepsTheStyle)
{
    CStateLabel label;
    label.AddStyle(Qt::red, QColor(), 0, 1, "none");
    label.AddStyle(QColor(128, 0, 128), QColor(), 0, 2);
    label.SetText("none");
    ASSERT_EQ(label.CurrentStyleList(), 1);
    label.SelectStyle(0, 0);
    label.SetText("none");
    EXPECT_EQ(label.CurrentStyleList(), 0);
    EXPECT_EQ(label.TextColor(), CBlinkLabel::WindowText());
}

TEST(StateLabel, NoStyleForTheTextLeavesTheCurrentOne)
{
    CStateLabel label;
    label.SetDefaultStyle(Qt::blue, QColor());
    label.SetText("anything");
    EXPECT_EQ(label.CurrentStyleList(), 0);
    EXPECT_EQ(label.CurrentStyleIndex(), 1);
}

TEST(StateLabel, ReplacingTheShownList2StyleShowsTheNewOne)
{
    CStateLabel label;
    label.AddStyle(QColor(128, 0, 128), QColor(), 0, 2);
    label.SetText("searching");
    ASSERT_EQ(label.CurrentStyleList(), 2);
    EXPECT_EQ(label.AddStyle(QColor(255, 0, 0), QColor(0, 0, 0), 1, 2), 0);
    EXPECT_EQ(label.TextColor(), QColor(255, 0, 0));
    EXPECT_EQ(label.BackgroundColor(), QColor(0, 0, 0));
    EXPECT_EQ(label.BlinkKind(), CBlinkLabel::BLINK_TEXT);
}

TEST(StateLabel, MatchTextIsCutTo79Characters)
{
    CStateLabel label;
    label.AddStyle(Qt::red, QColor(), 0, 1, QString(100, 'A'));
    label.SetText(QString(CMode::kMaxMatch, 'A') + "B");
    EXPECT_EQ(label.CurrentStyleList(), 1);
}

// --- CAnimation -------------------------------------------------------------------------

TEST(Animation, PlayLoopsThroughTheFramesAndStopClears)
{
    CAnimation animation;
    animation.resize(190, 38);
    animation.show();
    const QImage closed = animation.grab().toImage();
    EXPECT_FALSE(animation.IsPlaying());

    animation.Play();
    EXPECT_TRUE(animation.IsPlaying());
    EXPECT_EQ(animation.Frame(), 0);
    const QImage first = animation.grab().toImage();
    EXPECT_NE(first, closed);
    ASSERT_TRUE(WaitUntil([&] { return animation.Frame() == 1; }, 3000));
    EXPECT_NE(animation.grab().toImage(), first);   // records have moved
    ASSERT_TRUE(WaitUntil([&] { return animation.Frame() == animation.FrameCount() - 1; }, 10000));
    ASSERT_TRUE(WaitUntil([&] { return animation.Frame() == 0; }, 3000));   // and round again
    EXPECT_TRUE(animation.IsPlaying());

    animation.Stop();
    EXPECT_FALSE(animation.IsPlaying());
    EXPECT_EQ(animation.Frame(), 0);
    EXPECT_EQ(animation.grab().toImage(), closed);
    QTest::qWait(3 * CAnimation::kFrameMs);
    EXPECT_EQ(animation.Frame(), 0);
}

#include "test_controls.moc"
