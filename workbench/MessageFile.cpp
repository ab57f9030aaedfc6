// SPDX-License-Identifier: GPL-3.0-or-later
#include "workbench/MessageFile.h"

#include "common/TextCodec.h"

#include <QFile>

#include <cstdio>

using namespace Qt::StringLiterals;

MessageFile ReadMessageFile(const QString& path, bool headerOnly)
{
    const bool standardInput = path == u"-";
    const QString shownName = standardInput ? u"standard input"_s : path;
    QFile file;
    const bool opened = standardInput ? file.open(stdin, QIODevice::ReadOnly)
                                      : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        return {std::nullopt, u"cannot read %1: %2"_s.arg(shownName, file.errorString())};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return {std::nullopt, u"cannot read %1: %2"_s.arg(shownName, file.errorString())};
    }
    if (withoutByteOrderMark(bytes).isEmpty()) {
        return {std::nullopt, u"%1: the input is empty"_s.arg(shownName)};
    }
    return {headerOnly ? HeaderOnly(bytes) : SplitMessage(bytes), QString()};
}
