// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// Prints what the mail layer costs against loopback servers (Dovecot, the SMTP
/// sink) and Maildir folders: selecting the next message in folders of 10,
/// 1,000 and 10,000 messages, a whole load, and a send.
void benchMail();

/// Prints what a batch costs per message beyond its whois lookups, against
/// loopback servers, in IMAP and Maildir folders of 10 and 1,000 messages.
void benchBatch();
