// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/// What an address of a final whois answer is for. An address with several
/// roles takes the strongest: Registry, then Abuse, Remark and Other.
enum class AbuseRole
{
    /// The answer designates the address for abuse reports.
    Abuse,
    /// A remark about abuse or spam names the address.
    Remark,
    /// An address at a regional or national registry's own domain.
    Registry,
    /// Any other address.
    Other
};

struct AddressRole
{
    /// Upper case, as HarvestAddresses writes it.
    QString address;
    AbuseRole role = AbuseRole::Other;

    friend bool operator==(const AddressRole&, const AddressRole&) = default;
};

/// Every address of the answer with its role, in order of first appearance.
///
/// Addresses are read as the harvest reads them (words split at blanks, the
/// leading run of address characters, an "@" and a "."), line by line, plus the
/// quoted address of RIPE's "% Abuse contact for '…' is '…'" comment. Only the
/// lines the server ended count. An address designated for abuse reports is the
/// value of OrgAbuseEmail, RAbuseEmail or abuse-mailbox, the quoted comment, the
/// e-mail of the object whose nic-hdl (nic-hdl-br) an abuse-c names, or the
/// e-mail of KRNIC's network abuse section. An address on several lines takes
/// its strongest role; a registry's address is Registry wherever it stands,
/// except that a designated one keeps Abuse in an answer for a network of that
/// registry itself (its OrgName, org-name or netname names the registry).
QList<AddressRole> ClassifyAbuseRoles(QStringView answer);

/// The addresses the answer designates (role Abuse) that HarvestAddresses
/// cannot read because a quote sticks to them, upper-cased, in order, without
/// repeats; those that the harvest's own rules would drop are left out too.
QStringList DesignatedBeyondHarvest(QStringView answer);

/// The role of an address that a network publishes as its abuse contact (over
/// RDAP or in a contact database): Registry at a registry's own domain, else
/// Abuse. Such a source names no network, so a registry's own network is not
/// told apart here; its whois answer keeps that desk Abuse.
AbuseRole publishedContactRole(QStringView address);

/// "abuse", "remark", "registry" or "other".
QString abuseRoleName(AbuseRole role);

/// The ticks of the rows of one relay after the designation rule: when any row
/// is Abuse, its Other and Remark rows are ticked; when none is Abuse but some
/// are Remark, every row but the Remark ones is ticked; with neither, nothing
/// changes. Abuse rows, and Remark rows when nothing is Abuse, keep their tick
/// as made. Registry rows are always ticked. Rows without a role (the roles list
/// is shorter) keep their tick.
QList<bool> DesignatedTicks(const QList<AbuseRole>& rolesOfOneRelay, const QList<bool>& ticksAsMade);
