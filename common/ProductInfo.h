// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// The product's web site, without a trailing slash: the last line of every
/// complaint and the home of the online help. Set at configure time
/// (ZELKOR_WEB_ADDRESS), so that a packager can point it at a mirror.
QString productWebAddress();
