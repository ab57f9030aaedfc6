// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>

class QIcon;
class QImage;
class QPixmap;

/// The logo's size in pixels: it fills the free corner left of the controls.
inline constexpr QSize LogoSize{118, 125};

/// The two images of the application icon.
enum class IconSize
{
    Small = 16,
    Large = 32,
};

/// The logo: a letter traced back across the globe, relay by relay, to the
/// network it came from. Shapes only, on a transparent ground, so it suits any
/// light window colour. Needs no QGuiApplication.
QImage ZelkorLogoImage();

/// One image of the application icon, drawn at that size (not scaled) and
/// reduced to 16 colours, one of them transparent. Needs no QGuiApplication.
QImage ZelkorIconImage(IconSize size);

/// The logo as the window paints it. Needs a QGuiApplication.
QPixmap ZelkorLogo();

/// The application icon with its 16 × 16 and 32 × 32 images. Needs a QGuiApplication.
QIcon ZelkorIcon();
