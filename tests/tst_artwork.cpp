// SPDX-License-Identifier: GPL-3.0-or-later
// The artwork is drawn by code, so a broken drawing would only show on a
// desktop. These tests hold what a person relies on: the sizes the desktop and
// the window expect, the icon's 16 flat colours, and shapes that stand out
// from the grounds they are shown on.
#include "window/Artwork.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTest>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

int lightness(QRgb colour)
{
    return (qRed(colour) * 299 + qGreen(colour) * 587 + qBlue(colour) * 114) / 1000;
}

} // namespace

class TestArtwork final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void standsOutFromItsGround_data();
    void standsOutFromItsGround();
    void iconHasSixteenFlatColours_data();
    void iconHasSixteenFlatColours();
    void logoIsNotCutAtItsEdges();
    void applicationIconHoldsBothDrawings();
};

void TestArtwork::standsOutFromItsGround_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QColor>("ground");
    // The window's own colour under the logo; the icon on a light and a dark panel.
    const QColor windowGrey(0xef, 0xef, 0xef);
    const QColor darkPanel(0x30, 0x30, 0x38);
    const QImage small = ZelkorIconImage(IconSize::Small);
    const QImage large = ZelkorIconImage(IconSize::Large);
    QTest::newRow("logo on the window's grey") << ZelkorLogoImage() << QSize(118, 125) << windowGrey;
    QTest::newRow("small icon on a light panel") << small << QSize(16, 16) << windowGrey;
    QTest::newRow("small icon on a dark panel") << small << QSize(16, 16) << darkPanel;
    QTest::newRow("large icon on a light panel") << large << QSize(32, 32) << windowGrey;
    QTest::newRow("large icon on a dark panel") << large << QSize(32, 32) << darkPanel;
}

void TestArtwork::standsOutFromItsGround()
{
    QFETCH(QImage, image);
    QFETCH(QSize, size);
    QFETCH(QColor, ground);
    QCOMPARE(image.size(), size);

    QImage shown(image.size(), QImage::Format_ARGB32_Premultiplied);
    shown.fill(ground);
    QPainter(&shown).drawImage(0, 0, image);
    int distinct = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            distinct += std::abs(lightness(shown.pixel(x, y)) - lightness(ground.rgb())) >= 60 ? 1 : 0;
        }
    }
    // A fifth of the area must differ clearly in lightness, so the shapes read
    // on that ground and not only through their hue.
    const int pixels = size.width() * size.height();
    QVERIFY2(distinct * 5 >= pixels, qPrintable(u"%1 of %2 pixels stand out"_s.arg(distinct).arg(pixels)));
}

void TestArtwork::iconHasSixteenFlatColours_data()
{
    QTest::addColumn<IconSize>("size");
    QTest::newRow("16 x 16") << IconSize::Small;
    QTest::newRow("32 x 32") << IconSize::Large;
}

void TestArtwork::iconHasSixteenFlatColours()
{
    QFETCH(IconSize, size);
    const QImage icon = ZelkorIconImage(size);
    QCOMPARE(icon.format(), QImage::Format_Indexed8);
    QVERIFY(icon.colorCount() <= 16);

    // Every pixel fully transparent or fully opaque: a half-transparent edge
    // is blended differently by every desktop that shows the icon.
    int opaque = 0;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            const int alpha = qAlpha(icon.pixel(x, y));
            QVERIFY2(alpha == 0 || alpha == 255, qPrintable(u"pixel %1,%2 is half transparent"_s.arg(x).arg(y)));
            opaque += alpha == 255 ? 1 : 0;
        }
    }
    // A drawing, neither an empty square nor a filled one.
    const int pixels = icon.width() * icon.height();
    QVERIFY2(opaque > pixels / 4 && opaque < pixels * 3 / 4, qPrintable(u"%1 of %2 opaque"_s.arg(opaque).arg(pixels)));
}

void TestArtwork::logoIsNotCutAtItsEdges()
{
    // The logo stands in a corner of the window: a shape that runs into the
    // image's border looks cut off there.
    const QImage logo = ZelkorLogoImage();
    const QRect inner = logo.rect().adjusted(1, 1, -1, -1);
    for (int y = 0; y < logo.height(); ++y) {
        for (int x = 0; x < logo.width(); ++x) {
            QVERIFY2(inner.contains(x, y) || qAlpha(logo.pixel(x, y)) < 128,
                     qPrintable(u"pixel %1,%2 on the border is drawn"_s.arg(x).arg(y)));
        }
    }
}

void TestArtwork::applicationIconHoldsBothDrawings()
{
    const QIcon icon = ZelkorIcon();
    const QList<QSize> sizes = icon.availableSizes();
    QCOMPARE(sizes.size(), 2);
    QVERIFY(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)));

    // The small image is its own drawing, not the large one scaled down.
    const QImage small = icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(small, ZelkorIconImage(IconSize::Small).convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(ZelkorLogo().size(), LogoSize);
}

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"
