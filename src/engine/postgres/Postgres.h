#pragma once

// The PostgreSQL engine, through libpq: every database of an installation is a schema of
// one database on the server. What Scelta.cpp calls; the rest of the engine (Interno.h)
// stays behind these.

#include "engine/Motore.h"

namespace motore::postgres {

// Opens the schema `nome` of the database `server` names; `crea` makes it first and fails
// if it exists.
std::unique_ptr<Database> Apri(const QString& server, const QString& nome, Workspace& ws,
                               bool crea);

QString SchemaDitta(const QString& ditta);
QString SchemaTabelle();

}  // namespace motore::postgres
