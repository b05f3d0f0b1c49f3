// Tavrel's artwork and sounds: every command icon and picture renders at the
// sizes the windows use, every sound is a short, quiet 16-bit mono PCM wave,
// and playing a sound never blocks.
#include "app/Host.h"
#include "ui/Artwork.h"
#include "ui/Sounds.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QtNumeric>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

// Share of pixels that are at least half opaque.
double OpaqueShare(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) >= 128) ++opaque;
    return double(opaque) / (argb.width() * argb.height());
}

// ---------------------------------------------------------------- icons ----

// The toolbar's buttons, then the commands that have an icon in the menus only.
const int kIconCommands[] = {57600, 57601, 57604, 32768, 32784, 32798, 57612, 32770, 32775,
                             57603, 32852, 32862, 32795, 57664};

class CommandIconTest : public ::testing::TestWithParam<int> {};

TEST_P(CommandIconTest, DrawnAtEachToolbarSizeFromTheVectorFile)
{
    const int id = GetParam();
    const QIcon icon = CommandIcon(id);
    ASSERT_FALSE(icon.isNull()) << id;
    for (int side : {16, 24, 32}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(side, side))) << id << " at " << side;
        const QPixmap pixmap = icon.pixmap(QSize(side, side));
        ASSERT_EQ(pixmap.size(), QSize(side, side)) << id;
        const double share = OpaqueShare(pixmap.toImage());
        EXPECT_GT(share, 0.15) << id << " at " << side << " px is nearly empty";
        EXPECT_LT(share, 1.0) << id << " at " << side << " px has no transparent background";
    }
}

TEST_P(CommandIconTest, HighDpiToolbarGetsTheDoubleSizeDrawing)
{
    const int id = GetParam();
    const QImage fromIcon = CommandIcon(id).pixmap(QSize(16, 16), 2.0).toImage()
                                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage direct = RenderSvg(QStringLiteral(":/toolbar/%1.svg").arg(id), QSize(16, 16), 2.0)
                              .toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(fromIcon.size(), QSize(32, 32));
    EXPECT_EQ(fromIcon, direct) << id << " is an enlarged 16 px icon, not a 32 px drawing";
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandIconTest, ::testing::ValuesIn(kIconCommands));

TEST(ArtworkIcons, CommandWithoutArtworkHasNullIcon)
{
    EXPECT_TRUE(CommandIcon(57602).isNull());
    EXPECT_TRUE(CommandIcon(-1).isNull());
}

TEST(ArtworkIcons, ApplicationIconCoversMenuToDesktopSizes)
{
    const QIcon icon = ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (int side : {16, 24, 32, 48, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(side, side))) << side;
        EXPECT_GT(OpaqueShare(icon.pixmap(QSize(side, side)).toImage()), 0.15) << side;
    }
}

// ------------------------------------------------------------- pictures ----

struct PictureCase {
    const char* name;
    std::function<QPixmap(qreal)> render;
    QSize logicalSize;
    bool opaque;   // painted as a window of its own: no transparent pixel
};

class PictureTest : public ::testing::TestWithParam<std::tuple<int, qreal>> {};

const PictureCase kPictures[] = {
    {"splash 221", SplashBitmap, QSize(400, 250), true},
    {"About 220", AboutBitmap, QSize(64, 64), false},
};

TEST_P(PictureTest, RendersAtItsLogicalSizeForTheScreenScale)
{
    const auto [index, dpr] = GetParam();
    const PictureCase& picture = kPictures[index];
    const QPixmap pixmap = picture.render(dpr);
    ASSERT_FALSE(pixmap.isNull()) << picture.name;
    EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), picture.logicalSize) << picture.name;
    EXPECT_EQ(pixmap.size(), picture.logicalSize * dpr) << picture.name;
    const double share = OpaqueShare(pixmap.toImage());
    if (picture.opaque)
        EXPECT_EQ(share, 1.0) << picture.name;
    else
        EXPECT_GT(share, 0.3) << picture.name;
}

INSTANTIATE_TEST_SUITE_P(Pictures, PictureTest,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values(1.0, 2.0)));

struct RefusedRender {
    const char* why;
    QString path;
    QSize size;
    qreal dpr;
};

TEST(RenderSvg, RefusesWhatItCannotDrawSafely)
{
    const QString splash = QStringLiteral(":/bitmaps/221.svg");
    const RefusedRender cases[] = {
        {"missing resource", QStringLiteral(":/bitmaps/nothing.svg"), QSize(16, 16), 1.0},
        {"not an SVG file", QStringLiteral(":/sounds/193.wav"), QSize(16, 16), 1.0},
        {"empty size", splash, QSize(0, 16), 1.0},
        {"negative size", splash, QSize(-5, -5), 1.0},
        {"zero scale", splash, QSize(16, 16), 0.0},
        {"scale not a number", splash, QSize(16, 16), qQNaN()},
        {"huge scale", splash, QSize(16, 16), 1000.0},
        {"huge picture", splash, QSize(100000, 100000), 1.0},
    };
    for (const RefusedRender& c : cases)
        EXPECT_TRUE(RenderSvg(c.path, c.size, c.dpr).isNull()) << c.why;
}

TEST(RenderSvg, KeepsTheDrawingsProportionsCentred)
{
    // The 400 x 250 splash in a square: bands above and below stay transparent.
    const QImage image = RenderSvg(QStringLiteral(":/bitmaps/221.svg"), QSize(400, 400), 1.0).toImage();
    ASSERT_EQ(image.size(), QSize(400, 400));
    EXPECT_EQ(qAlpha(image.pixel(200, 10)), 0);
    EXPECT_EQ(qAlpha(image.pixel(200, 200)), 255);
    EXPECT_EQ(qAlpha(image.pixel(200, 390)), 0);
}

// --------------------------------------------------------------- sounds ----

struct WaveInfo {
    int format = 0, channels = 0, rate = 0, bits = 0;
    QByteArray samples;
};

// Reads a RIFF/WAVE file chunk by chunk; nothing when its structure is broken.
std::optional<WaveInfo> ReadWave(const QByteArray& file)
{
    if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE") return std::nullopt;
    if (qFromLittleEndian<quint32>(file.constData() + 4) != quint32(file.size() - 8)) return std::nullopt;
    WaveInfo info;
    bool haveFormat = false, haveData = false;
    for (qsizetype at = 12; at + 8 <= file.size();) {
        const QByteArray id = file.mid(at, 4);
        const quint32 length = qFromLittleEndian<quint32>(file.constData() + at + 4);
        if (length > quint32(file.size() - at - 8)) return std::nullopt;
        const char* body = file.constData() + at + 8;
        if (id == "fmt " && length >= 16) {
            info.format = qFromLittleEndian<quint16>(body);
            info.channels = qFromLittleEndian<quint16>(body + 2);
            info.rate = int(qFromLittleEndian<quint32>(body + 4));
            info.bits = qFromLittleEndian<quint16>(body + 14);
            haveFormat = true;
        } else if (id == "data") {
            info.samples = QByteArray(body, length);
            haveData = true;
        }
        at += 8 + length + (length & 1);
    }
    if (!haveFormat || !haveData) return std::nullopt;
    return info;
}

class SoundResourceTest : public ::testing::TestWithParam<int> {};

TEST_P(SoundResourceTest, IsAShortQuietMonoPcmWave)
{
    QFile file(QStringLiteral(":/sounds/%1.wav").arg(GetParam()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_LT(bytes.size(), 48 * 1024);

    const std::optional<WaveInfo> wave = ReadWave(bytes);
    ASSERT_TRUE(wave.has_value());
    EXPECT_EQ(wave->format, 1);   // PCM
    EXPECT_EQ(wave->channels, 1);
    EXPECT_EQ(wave->rate, 22050);
    EXPECT_EQ(wave->bits, 16);

    const qsizetype count = wave->samples.size() / 2;
    EXPECT_GT(count, 22050 / 10);
    EXPECT_LT(count, 22050);   // under one second
    int peak = 0;
    for (qsizetype i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(wave->samples.constData() + 2 * i))));
    EXPECT_GT(peak, 32767 / 20) << "nearly silent";
    EXPECT_LT(peak, 32767 / 2) << "not a quiet sound";
}

INSTANTIATE_TEST_SUITE_P(Sounds, SoundResourceTest,
                         ::testing::Values(SOUND_STARTUP, SOUND_ABOUT, SOUND_SHUTDOWN, SOUND_TRANSFER_OK));

TEST(Sounds, PlayingReturnsAtOnceForEverySoundAndForAMissingOne)
{
    for (int id : {4242, int(SOUND_STARTUP), int(SOUND_TRANSFER_OK)}) {
        QElapsedTimer timer;
        timer.start();
        PlayWaveResource(id);
        EXPECT_LT(timer.elapsed(), 200) << id;
    }
    PlayBeep(BEEP_EXCLAMATION);
}

} // namespace
