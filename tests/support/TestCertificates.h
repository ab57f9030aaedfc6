// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// A certificate authority and a server certificate for "localhost" made with
/// openssl in a folder of the caller's; the CA file is what a client must
/// trust. Connecting to 127.0.0.1 by its address gives a host name mismatch.
struct TestCertificates
{
    QString caFile;
    QString certificateFile;
    QString keyFile;
    QString error; ///< empty when the files were made

    static TestCertificates make(const QString& directory);
};
