// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/Artwork.h"

#include <QIcon>
#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

#include <optional>

namespace {

// The icon's 16 colours, which the logo shares: the transparent ground, the
// flat colours of the drawing, and a few shades between them, so that the
// reduction finds a close match for anti-aliased edges.
enum Shade
{
    Transparent,
    Outline,
    DarkGrey,
    MidGrey,
    PaperShadow,
    White,
    Paper,
    DarkRed,
    Red,
    Orange,
    RedOnPaper,
    DarkBlue,
    Blue,
    LightBlue,
    PaperFold,
    RedOnOutline,
};

const QList<QRgb>& iconPalette()
{
    static const QList<QRgb> palette{
        qRgba(0, 0, 0, 0),      qRgb(0x1c, 0x24, 0x2e), qRgb(0x55, 0x60, 0x6c), qRgb(0x9a, 0xa4, 0xae),
        qRgb(0xd5, 0xd9, 0xde), qRgb(0xff, 0xff, 0xff), qRgb(0xf2, 0xee, 0xe2), qRgb(0x7c, 0x14, 0x14),
        qRgb(0xd8, 0x2e, 0x26), qRgb(0xf0, 0x8c, 0x22), qRgb(0xf2, 0xa8, 0x9c), qRgb(0x15, 0x3f, 0x78),
        qRgb(0x2f, 0x74, 0xc8), qRgb(0x8e, 0xc2, 0xf0), qRgb(0xbc, 0xb8, 0xae), qRgb(0x8a, 0x46, 0x46),
    };
    return palette;
}

QColor colour(Shade shade)
{
    return QColor::fromRgba(iconPalette().at(shade));
}

QImage transparentImage(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

/// A map pin whose tip stands at `tip`; `height` runs from the tip to the top of
/// the head. Shaded for the logo, flat for the icon, where a gradient would only
/// add stray colours.
void drawPin(QPainter& painter, QPointF tip, qreal height, qreal outlineWidth, bool shaded)
{
    const qreal radius = height * 0.34;
    const QPointF centre(tip.x(), tip.y() - height + radius);
    QPainterPath pin;
    pin.moveTo(tip);
    pin.cubicTo(tip.x() - radius * 0.35, tip.y() - radius * 1.1, centre.x() - radius, centre.y() + radius * 0.9,
                centre.x() - radius, centre.y());
    pin.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 180, -180);
    pin.cubicTo(centre.x() + radius, centre.y() + radius * 0.9, tip.x() + radius * 0.35, tip.y() - radius * 1.1,
                tip.x(), tip.y());
    pin.closeSubpath();

    QLinearGradient fill(centre.x() - radius, centre.y() - radius, centre.x() + radius, tip.y());
    fill.setColorAt(0, colour(Orange));
    fill.setColorAt(0.45, colour(Red));
    fill.setColorAt(1, colour(DarkRed));
    painter.setPen(QPen(colour(DarkRed), outlineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(shaded ? QBrush(fill) : QBrush(colour(Red)));
    painter.drawPath(pin);

    painter.setPen(Qt::NoPen);
    painter.setBrush(colour(White));
    painter.drawEllipse(centre, radius * 0.42, radius * 0.42);
}

/// A relay on the route: a white disc in a red ring.
void drawRelay(QPainter& painter, QPointF centre, qreal radius, qreal ringWidth)
{
    painter.setPen(QPen(colour(DarkRed), ringWidth));
    painter.setBrush(colour(White));
    painter.drawEllipse(centre, radius, radius);
}

/// A closed envelope seen from the back, its flap pointing down to the middle.
void drawEnvelope(QPainter& painter, const QRectF& body, qreal outlineWidth, qreal cornerRadius)
{
    QLinearGradient paper(body.topLeft(), body.bottomLeft());
    paper.setColorAt(0, colour(White));
    paper.setColorAt(1, colour(Paper));
    painter.setPen(Qt::NoPen);
    painter.setBrush(paper);
    painter.drawRoundedRect(body, cornerRadius, cornerRadius);

    // The side and bottom folds, a shade darker than the flap above them.
    const QPointF fold(body.center().x(), body.top() + body.height() * 0.52);
    QPainterPath lower;
    lower.moveTo(body.bottomLeft());
    lower.lineTo(body.left() + body.width() * 0.40, fold.y() + body.height() * 0.06);
    lower.lineTo(body.right() - body.width() * 0.40, fold.y() + body.height() * 0.06);
    lower.lineTo(body.bottomRight());
    painter.setPen(QPen(colour(PaperFold), outlineWidth * 0.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(lower);

    // The flap, then the outline over everything, so no fill blurs its edge.
    // Flat ends: a round one would stick out above the corners.
    QPainterPath flap;
    flap.moveTo(body.topLeft());
    flap.lineTo(fold);
    flap.lineTo(body.topRight());
    painter.setPen(QPen(colour(Outline), outlineWidth, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    painter.setBrush(colour(PaperShadow));
    painter.drawPath(flap);
    painter.setPen(QPen(colour(Outline), outlineWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(body, cornerRadius, cornerRadius);
}

void drawGlobe(QPainter& painter, QPointF centre, qreal radius)
{
    QRadialGradient sea(centre, radius, QPointF(centre.x() - radius * 0.35, centre.y() - radius * 0.4));
    sea.setColorAt(0, colour(LightBlue));
    sea.setColorAt(0.55, colour(Blue));
    sea.setColorAt(1, colour(DarkBlue));
    painter.setPen(Qt::NoPen);
    painter.setBrush(sea);
    painter.drawEllipse(centre, radius, radius);

    // Meridians and parallels, faint so the route stands out over them.
    painter.save();
    QPainterPath disc;
    disc.addEllipse(centre, radius, radius);
    painter.setClipPath(disc);
    QColor grid = colour(White);
    grid.setAlpha(95);
    painter.setPen(QPen(grid, 1.2));
    painter.setBrush(Qt::NoBrush);
    for (const qreal width : {0.0, 0.5, 0.88}) {
        painter.drawEllipse(centre, radius * width, radius);
    }
    for (const qreal height : {-0.5, 0.0, 0.5}) {
        const qreal y = centre.y() + radius * height;
        painter.drawLine(QPointF(centre.x() - radius, y), QPointF(centre.x() + radius, y));
    }
    painter.restore();

    painter.setPen(QPen(colour(DarkBlue).darker(120), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius, radius);
}

/// The 32 × 32 icon: the letter at the bottom left, a dotted route up to the pin at the top right.
void drawLargeIcon(QPainter& painter)
{
    // The route's dots sit on whole pixels, two by two, so they stay crisp.
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour(Red));
    for (const QPoint dot : {QPoint(4, 10), QPoint(4, 6), QPoint(7, 3), QPoint(11, 1), QPoint(15, 1)}) {
        painter.drawRect(QRect(dot, QSize(2, 2)));
    }

    painter.setRenderHint(QPainter::Antialiasing);
    drawEnvelope(painter, QRectF(0.5, 14.5, 25, 17), 1, 0);
    drawPin(painter, QPointF(25.5, 19), 17.5, 1, false);
}

std::optional<Shade> shadeOfLetter(char letter)
{
    switch (letter) {
    case 'O':
        return Outline;
    case 'P':
        return Paper;
    case 'S':
        return PaperShadow;
    case 'r':
        return Red;
    case 'R':
        return DarkRed;
    case 'W':
        return White;
    default:
        return std::nullopt;
    }
}

/// The 16 × 16 icon, set pixel by pixel: at this size a smooth drawing turns
/// to mush, so every edge sits on whole pixels.
void drawSmallIcon(QImage& image)
{
    // One row of text per pixel row: . ground, O outline, P paper, S paper
    // shadow (the flap), r red, R dark red, W white.
    static constexpr const char* Pixels[16] = {
        "...........RRRR.", //
        ".......r..RrrrrR", //
        "..........RrWWrR", //
        "....r.....RrWWrR", //
        "..........RrrrrR", //
        "..r........RrrR.", //
        "............RR..", //
        "OOOOOOOOOOOORR..", //
        "OOSSSSSSSSOO....", //
        "OPOSSSSSSOPO....", //
        "OPPOSSSSOPPO....", //
        "OPPPOSSOPPPO....", //
        "OPPPPOOPPPPO....", //
        "OPPPPPPPPPPO....", //
        "OOOOOOOOOOOO....", //
        "................", //
    };
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const std::optional<Shade> shade = shadeOfLetter(Pixels[y][x]);
            if (shade) {
                image.setPixelColor(x, y, colour(*shade));
            }
        }
    }
}

/// Reduces an image to the icon palette: each pixel fully transparent or
/// fully opaque, then the nearest colour of the palette (no dithering, which
/// only speckles an image this small).
QImage toIconPalette(const QImage& image)
{
    QImage straight = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < straight.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(straight.scanLine(y));
        for (int x = 0; x < straight.width(); ++x) {
            line[x] = qAlpha(line[x]) < 128 ? qRgba(0, 0, 0, 0) : (line[x] | 0xff000000u);
        }
    }
    return straight.convertToFormat(QImage::Format_Indexed8, iconPalette(), Qt::ThresholdDither | Qt::AvoidDither);
}

} // namespace

QImage ZelkorLogoImage()
{
    QImage image = transparentImage(LogoSize);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // A soft shadow under the letter grounds it on the window's colour.
    QRadialGradient shadow(QPointF(44, 117), 40);
    shadow.setColorAt(0, QColor(0, 0, 0, 70));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    painter.save();
    painter.translate(44, 117);
    painter.scale(1, 0.16);
    painter.translate(-44, -117);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shadow);
    painter.drawEllipse(QPointF(44, 117), 40, 40);
    painter.restore();

    drawGlobe(painter, QPointF(72, 46), 40);

    // The route from the letter over the relays to the network it came from.
    QPainterPath route;
    route.moveTo(26, 78);
    route.cubicTo(10, 60, 12, 40, 26, 30);
    route.cubicTo(38, 20, 54, 14, 66, 20);
    route.cubicTo(76, 25, 82, 32, 87, 44);
    QPen halo(colour(White), 5.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(halo);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(route);
    QPen dashes(colour(Red), 3, Qt::CustomDashLine, Qt::RoundCap, Qt::RoundJoin);
    dashes.setDashPattern({1.2, 1.6});
    painter.setPen(dashes);
    painter.drawPath(route);

    drawRelay(painter, QPointF(16, 52), 5, 2.2);
    drawRelay(painter, QPointF(43, 18.5), 5, 2.2);

    drawEnvelope(painter, QRectF(7, 76, 74, 42), 2.2, 2.2);
    drawPin(painter, QPointF(88, 50), 32, 2, true);
    painter.end();
    return image;
}

QImage ZelkorIconImage(IconSize size)
{
    const int side = static_cast<int>(size);
    QImage image = transparentImage(QSize(side, side));
    if (size == IconSize::Small) {
        drawSmallIcon(image);
    } else {
        QPainter painter(&image);
        drawLargeIcon(painter);
    }
    return toIconPalette(image);
}

QPixmap ZelkorLogo()
{
    return QPixmap::fromImage(ZelkorLogoImage());
}

QIcon ZelkorIcon()
{
    QIcon icon;
    for (const IconSize size : {IconSize::Small, IconSize::Large}) {
        icon.addPixmap(QPixmap::fromImage(ZelkorIconImage(size)));
    }
    return icon;
}
