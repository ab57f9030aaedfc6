// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/MaildirFolder.h"

#include "mailbox/FolderName.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <dirent.h>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

// "unique:2,FLAGS" (or "unique!2,FLAGS" where ':' is not allowed in names).
qsizetype infoStart(QStringView fileName)
{
    const qsizetype colon = fileName.indexOf(u':');
    return colon >= 0 ? colon : fileName.indexOf(u'!');
}

QStringView uniqueName(QStringView fileName)
{
    const qsizetype info = infoStart(fileName);
    return info >= 0 ? fileName.first(info) : fileName;
}

// A message flagged T (trashed) waits for its expunge: it counts as deleted.
bool isTrashed(QStringView fileName)
{
    const qsizetype info = infoStart(fileName);
    if (info < 0) {
        return false;
    }
    const QStringView flags = fileName.sliced(info + 1);
    return flags.startsWith(u"2,") && flags.sliced(2).contains(u'T');
}

template <typename Visit>
void forEachFile(const QString& directory, Visit visit)
{
    DIR* dir = ::opendir(QFile::encodeName(directory).constData());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        visit(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
}

// The longest header block read; the Received lines that matter come first.
constexpr qint64 HeaderLimit = 1024 * 1024;

// The header block of a message file: its lines up to and including the empty
// line that ends it; nullopt when the file has gone meanwhile.
std::optional<QByteArray> headerBlock(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists()) {
            return std::nullopt;
        }
        throw MailException({MailFailure::Other, u"%1 cannot be read: %2"_s.arg(path, file.errorString())});
    }
    QByteArray header;
    while (!file.atEnd() && header.size() < HeaderLimit) {
        const QByteArray line = file.readLine(HeaderLimit);
        header += line;
        if (line == "\n" || line == "\r\n") {
            break;
        }
    }
    return header;
}

MailError goneError(const QString& entryId)
{
    return {MailFailure::MessageGone, u"the message %1 is no longer in the Maildir"_s.arg(entryId)};
}

} // namespace

MaildirFolder::MaildirFolder(const QString& root, const QString& folder)
    : m_root(QDir::cleanPath(root))
    , m_folder(folder)
{}

QString MaildirFolder::folderDirectory(const QString& folder) const
{
    return foldername::maildirDirectory(m_root, folder);
}

void MaildirFolder::open()
{
    if (!QFileInfo(m_root + u"/cur"_s).isDir()) {
        throw MailException({MailFailure::Settings, u"%1 is not a Maildir (it has no cur folder)"_s.arg(m_root)});
    }
    m_directory = folderDirectory(m_folder);
    if (!QFileInfo(m_directory + u"/cur"_s).isDir()) {
        throw MailException(
            {MailFailure::Settings, u"the Maildir %1 has no folder \"%2\" (%3)"_s.arg(m_root, m_folder, m_directory)});
    }
}

QString MaildirFolder::caption() const
{
    return foldername::shownName(foldername::Rules::Maildir, m_folder) + u" - "_s + m_root;
}

std::optional<qint64> MaildirFolder::deliveryMicroseconds(QStringView uniqueName)
{
    const qsizetype dot = uniqueName.indexOf(u'.');
    bool isNumber = false;
    const qint64 seconds = uniqueName.first(dot < 0 ? uniqueName.size() : dot).toLongLong(&isNumber);
    if (!isNumber || dot <= 0) {
        return std::nullopt;
    }
    qint64 micro = 0;
    // The middle part of modern names holds "M" and the microseconds.
    const QStringView middle = uniqueName.sliced(dot + 1).split(u'.').front();
    if (const qsizetype m = middle.indexOf(u'M'); m >= 0) {
        qsizetype end = m + 1;
        while (end < middle.size() && middle[end].isDigit()) {
            ++end;
        }
        micro = middle.sliced(m + 1, end - m - 1).toLongLong();
    }
    return seconds * 1000000 + micro;
}

// Every message of new/ and cur/ that is not flagged trashed: its path, its
// unique name and the delivery time in that name, if it has one.
template <typename Visit>
void MaildirFolder::forEachMessage(const QString& maildir, Visit visit)
{
    for (const QString& sub : {u"/new/"_s, u"/cur/"_s}) {
        const QString directory = maildir + sub;
        forEachFile(directory, [&](const QString& fileName) {
            if (!isTrashed(fileName)) {
                const QString unique = uniqueName(fileName).toString();
                visit(directory + fileName, unique, deliveryMicroseconds(unique));
            }
        });
    }
}

std::optional<QString> MaildirFolder::oldest()
{
    // Names without a delivery time come after all that have one.
    using Key = std::tuple<bool, qint64, QString>;
    std::optional<Key> best;
    QString bestPath;
    forEachMessage(m_directory, [&](const QString& path, const QString& unique, std::optional<qint64> time) {
        Key key{!time.has_value(), time.value_or(0), unique};
        if (!best || key < *best) {
            best = std::move(key);
            bestPath = path;
        }
    });
    m_paths.clear();
    if (!best) {
        return std::nullopt;
    }
    m_paths.insert(std::get<2>(*best), bestPath);
    return std::get<2>(*best);
}

QString MaildirFolder::locate(const QString& entryId)
{
    if (const QString known = m_paths.value(entryId); !known.isEmpty() && QFileInfo::exists(known)) {
        return known;
    }
    // Another program may have moved it from new to cur or changed its flags.
    QString found;
    for (const QString& sub : {u"/new/"_s, u"/cur/"_s}) {
        forEachFile(m_directory + sub, [&](const QString& fileName) {
            if (found.isEmpty() && uniqueName(fileName) == entryId && !isTrashed(fileName)) {
                found = m_directory + sub + fileName;
            }
        });
    }
    if (found.isEmpty()) {
        throw MailException(goneError(entryId));
    }
    m_paths.insert(entryId, found);
    return found;
}

QByteArray MaildirFolder::raw(const QString& entryId)
{
    QFile file(locate(entryId));
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists()) {
            throw MailException(goneError(entryId));
        }
        throw MailException({MailFailure::Other, u"%1 cannot be read: %2"_s.arg(file.fileName(), file.errorString())});
    }
    return file.readAll();
}

void MaildirFolder::remove(const QString& entryId)
{
    QFile file(locate(entryId));
    if (!file.remove()) {
        if (!file.exists()) {
            throw MailException(goneError(entryId));
        }
        throw MailException(
            {MailFailure::Refused, u"%1 cannot be removed: %2"_s.arg(file.fileName(), file.errorString())});
    }
    m_paths.remove(entryId);
}

void MaildirFolder::move(const QString& entryId, const QString& folder)
{
    const QString source = locate(entryId);
    const QString target = folderDirectory(folder);
    for (const QString& sub : {u"/cur"_s, u"/new"_s, u"/tmp"_s}) {
        if (!QDir().mkpath(target + sub)) {
            throw MailException({MailFailure::Refused, u"the Maildir folder %1 cannot be created"_s.arg(target + sub)});
        }
    }
    if (target != m_root && !QFileInfo::exists(target + u"/maildirfolder"_s)) {
        QFile marker(target + u"/maildirfolder"_s);
        marker.open(QIODevice::WriteOnly);
    }
    // A rename within the tree is atomic: the message is never in both folders or in none.
    const QFileInfo info(source);
    const QString destination = target + u'/' + info.dir().dirName() + u'/' + info.fileName();
    if (::rename(QFile::encodeName(source).constData(), QFile::encodeName(destination).constData()) != 0) {
        const int error = errno;
        if (!QFileInfo::exists(source)) {
            throw MailException(goneError(entryId));
        }
        throw MailException({MailFailure::Refused, u"%1 cannot be moved to %2: %3"_s.arg(
                                                       source, destination, QString::fromLocal8Bit(strerror(error)))});
    }
    m_paths.remove(entryId);
}

QList<QByteArray> MaildirFolder::newestHeaders(qsizetype count)
{
    // Names without a delivery time (files put there by hand or another
    // program) are dated by their modification time.
    using Key = std::tuple<qint64, QString>;
    std::vector<std::pair<Key, QString>> messages;
    forEachMessage(m_directory, [&](const QString& path, const QString& unique, std::optional<qint64> time) {
        const qint64 when = time ? *time : QFileInfo(path).lastModified().toMSecsSinceEpoch() * 1000;
        messages.push_back({{when, unique}, path});
    });
    std::sort(messages.begin(), messages.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    QList<QByteArray> headers;
    for (const auto& [key, path] : messages) {
        if (headers.size() >= count) {
            break;
        }
        if (std::optional<QByteArray> header = headerBlock(path)) {
            headers.append(std::move(*header));
        }
    }
    return headers;
}
