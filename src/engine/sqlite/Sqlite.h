#pragma once

// The SQLite engine: one file per database.

#include "engine/Motore.h"

namespace motore::sqlite {

std::unique_ptr<Database> Apri(const QString& percorso, Workspace& ws);
// A new empty database file; fails if the file exists.
std::unique_ptr<Database> Crea(const QString& percorso, Workspace& ws);
// Workspace::NonScrivibile for a file.
QString NonScrivibile(const QString& percorso);

}  // namespace motore::sqlite
