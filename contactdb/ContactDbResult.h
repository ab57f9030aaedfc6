// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

/// The outcome of one contact-database lookup of a relay address.
struct ContactDbResult
{
    /// The relay text as asked.
    QString address;
    /// The zone asked; empty when nothing was asked.
    QString zone;
    /// The abuse addresses the zone lists for the relay's network, as
    /// published, each once.
    QStringList abuse;
    /// Empty, or a one-line reason a person understands: why nothing was asked,
    /// or what failed. A zone that lists nothing for the address is no failure.
    QString error;
};

Q_DECLARE_METATYPE(ContactDbResult)
