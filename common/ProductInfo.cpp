// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ProductInfo.h"

QString productWebAddress()
{
    return QStringLiteral(ZELKOR_WEB_ADDRESS);
}
