#include "engine/postgres/Postgres.h"

namespace motore::postgres {

std::unique_ptr<Database> Apri(const QString& server, const QString&, Workspace&, bool) {
    throw Errore(ErrConnessione, QStringLiteral("Server '%1' non disponibile.").arg(server));
}

QString SchemaDitta(const QString& ditta) {
    QString schema = QStringLiteral("ditta_") + ditta.toLower();
    for (QChar& c : schema)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) c = '_';
    return schema;
}

QString SchemaTabelle() {
    return QStringLiteral("tabkes");
}

}  // namespace motore::postgres
