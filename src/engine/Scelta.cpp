// The one place that knows both engines and chooses between them: a workspace with no
// server opens files (sqlite/), one with a server opens schemas on it (postgres/). The
// choice is made once, when a database is opened or created; everything after goes through
// the interface of Motore.h.

#include "engine/Motore.h"
#include "engine/postgres/Postgres.h"
#include "engine/sqlite/Sqlite.h"

namespace motore {

namespace {

bool SuFile(const QString& server) {
    return server.trimmed().isEmpty();
}

}  // namespace

QString PercorsoDitta(const QString& server, const QString& radice, const QString& ditta) {
    if (SuFile(server)) return radice + ditta + QStringLiteral("/Completo.mdb");
    return postgres::SchemaDitta(ditta);
}

QString PercorsoTabelle(const QString& server, const QString& radice) {
    if (SuFile(server)) return radice + QStringLiteral("tabkes.mdb");
    return postgres::SchemaTabelle();
}

std::unique_ptr<Database> Workspace::OpenDatabase(const QString& nome) {
    if (SuFile(server_)) return sqlite::Apri(nome, *this);
    return postgres::Apri(server_, nome, *this, false);
}

std::unique_ptr<Database> Workspace::CreaDatabase(const QString& nome) {
    if (SuFile(server_)) return sqlite::Crea(nome, *this);
    return postgres::Apri(server_, nome, *this, true);
}

QString Workspace::NonScrivibile(const QString& nome) const {
    return SuFile(server_) ? sqlite::NonScrivibile(nome) : QString();
}

}  // namespace motore
