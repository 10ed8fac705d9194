#pragma once

// An installation on files that the operators of one group share, each with a login of
// their own.

#include <QString>

class QTextStream;

namespace setup {

// Whether the group exists; says so on err when it does not.
bool GruppoEsistente(const QString& gruppo, QTextStream& err);
// Whether `radice` may be given to a group (the system's root may not); says so on err.
bool RadicePerIlGruppo(const QString& radice, QTextStream& err);

// Gives the installation under `radice` to the group: the data root, its temp folder for the
// exports (made when missing), the company's folder (every company's when `azienda` is empty)
// and the databases with the files beside them. Folders get the group, group write and the
// set-group-ID bit, so that what a program makes in them (the log and its index) is the
// group's too; temp also the sticky bit, so that no login removes another's list; files
// group read-write; nothing is left to others but reading and crossing the data root. Owners
// and contents stay as they are; no link is followed. Each path put right is printed on out,
// each failure on err; false when any.
bool DaiAlGruppo(const QString& radice, const QString& azienda, const QString& gruppo,
                 QTextStream& out, QTextStream& err);

}  // namespace setup
