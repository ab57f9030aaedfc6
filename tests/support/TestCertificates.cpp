// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TestCertificates.h"

#include <QFile>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

QString runOpenssl(const QStringList& arguments)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(u"openssl"_s, arguments);
    if (!openssl.waitForFinished(20000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        return u"openssl %1 failed: %2 %3"_s.arg(arguments.value(0), openssl.errorString(),
                                                 QString::fromLocal8Bit(openssl.readAll()));
    }
    return QString();
}

} // namespace

TestCertificates TestCertificates::make(const QString& directory)
{
    TestCertificates files;
    files.caFile = directory + u"/ca.pem"_s;
    files.certificateFile = directory + u"/server.pem"_s;
    files.keyFile = directory + u"/server.key"_s;
    const QString caKey = directory + u"/ca.key"_s;
    const QString request = directory + u"/server.csr"_s;
    const QString extensions = directory + u"/server.ext"_s;
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly)) {
        files.error = ext.errorString();
        return files;
    }
    ext.write("subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
    ext.close();
    // Elliptic-curve keys: made in milliseconds, where RSA keys take a while.
    const QStringList key = {u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s};
    for (const QStringList& arguments :
         {QStringList{u"req"_s, u"-x509"_s} + key +
              QStringList{u"-keyout"_s, caKey, u"-out"_s, files.caFile, u"-days"_s, u"2"_s, u"-subj"_s,
                          u"/CN=Zelkor test CA"_s},
          QStringList{u"req"_s} + key +
              QStringList{u"-keyout"_s, files.keyFile, u"-out"_s, request, u"-subj"_s, u"/CN=localhost"_s},
          QStringList{u"x509"_s, u"-req"_s, u"-in"_s, request, u"-CA"_s, files.caFile, u"-CAkey"_s, caKey,
                      u"-CAcreateserial"_s, u"-out"_s, files.certificateFile, u"-days"_s, u"2"_s, u"-extfile"_s,
                      extensions}}) {
        files.error = runOpenssl(arguments);
        if (!files.error.isEmpty()) {
            break;
        }
    }
    return files;
}
