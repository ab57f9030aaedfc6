// SPDX-License-Identifier: GPL-3.0-or-later
// zelkor-artwork DIRECTORY: writes the application icon's images for the
// desktop (zelkor-16.png, zelkor-32.png) and the logo (zelkor-logo.png), drawn
// by the same code the window uses, so the repository holds no binary artwork.
#include "window/Artwork.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

bool save(const QImage& image, const QString& path)
{
    if (image.save(path, "PNG")) {
        return true;
    }
    std::fprintf(stderr, "zelkor-artwork: cannot write %s\n", qUtf8Printable(QDir::toNativeSeparators(path)));
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zelkor-artwork DIRECTORY\n");
        return 2;
    }
    const QDir directory(QString::fromLocal8Bit(argv[1]));
    if (!directory.exists() && !QDir().mkpath(directory.path())) {
        std::fprintf(stderr, "zelkor-artwork: cannot create %s\n", argv[1]);
        return 1;
    }
    const bool written = save(ZelkorIconImage(IconSize::Small), directory.filePath(u"zelkor-16.png"_s)) &&
                         save(ZelkorIconImage(IconSize::Large), directory.filePath(u"zelkor-32.png"_s)) &&
                         save(ZelkorLogoImage(), directory.filePath(u"zelkor-logo.png"_s));
    return written ? 0 : 1;
}
