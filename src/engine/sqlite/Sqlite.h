#pragma once

// The SQLite engine, one file per database: what Scelta.cpp calls to open or make one. The
// rest of the engine (Interno.h) stays behind these three calls.

#include "engine/Motore.h"

namespace motore::sqlite {

std::unique_ptr<Database> Apri(const QString& percorso, Workspace& ws);
// A new empty database file; fails if the file exists.
std::unique_ptr<Database> Crea(const QString& percorso, Workspace& ws);
// Workspace::NonScrivibile for a file.
QString NonScrivibile(const QString& percorso);

}  // namespace motore::sqlite
