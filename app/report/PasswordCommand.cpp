// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report/PasswordCommand.h"

#include "mailbox/MailPasswords.h"
#include "mailbox/MailSettings.h"

#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

/// Turns the terminal's echo off for as long as it lives.
class EchoOff final
{
public:
    EchoOff()
    {
        if (isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &m_saved) == 0) {
            termios quiet = m_saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            m_active = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff()
    {
        if (m_active) {
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
            std::fputc('\n', stderr);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

    bool active() const { return m_active; }

private:
    termios m_saved{};
    bool m_active = false;
};

// The first line of standard input, without its line end.
std::optional<QString> readPasswordLine()
{
    EchoOff echoOff;
    if (echoOff.active()) {
        std::fputs("Password: ", stderr);
        std::fflush(stderr);
    }
    std::string line;
    for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.empty()) {
        return std::nullopt;
    }
    return QString::fromStdString(line);
}

int fail(const QString& message)
{
    std::fprintf(stderr, "zelkor-report: %s\n", qUtf8Printable(message));
    return 2;
}

} // namespace

int setMailPassword(const QString& role)
{
    if (role != u"store" && role != u"transport") {
        return fail(u"--set-password takes \"store\" or \"transport\""_s);
    }
    const MailResult<MailSettings> settings = MailSettings::load(MailSettings::defaultPath());
    if (!settings.ok()) {
        return fail(settings.error().description);
    }
    const std::optional<QString> password = readPasswordLine();
    if (!password) {
        return fail(u"no password given on standard input"_s);
    }
    const MailRole mailRole = role == u"store" ? MailRole::Store : MailRole::Transport;
    if (const MailError error = storeMailPassword(mailRole, settings.value(), *password)) {
        return fail(error.description);
    }
    std::fprintf(stderr, "zelkor-report: the password for %s is kept in the secret store\n",
                 qUtf8Printable(mailPasswordKey(mailRole, settings.value())));
    return 0;
}
