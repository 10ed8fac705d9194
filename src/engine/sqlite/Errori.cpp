// SQLite's result codes as the engine's error numbers (engine/Errori.h). SQLite tells
// its failures by a primary code and, with extended codes on, a finer one: a busy or locked
// file is 3218, a read-only file or folder 3027, a file moved under the program 3024, a
// failed constraint of uniqueness 3022, a damaged file 3049, a foreign one 3343. A file
// beside the database that cannot be opened (the log, the journal) is told apart from the
// database itself, so that the operator hears what to do.

#include "engine/sqlite/Interno.h"

namespace motore::sqlite {

Errore ErroreDa(int rc, const QString& dettaglio, const QString& percorso) {
    const int primario = rc & 0xff;
    switch (primario) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return Errore(ErrBloccato, QStringLiteral("Il database '%1' è attualmente bloccato "
                                                      "da un altro utente.")
                                           .arg(percorso));
        case SQLITE_READONLY:
            if (rc == SQLITE_READONLY_DBMOVED)
                return Errore(ErrFileMancante,
                              QStringLiteral("Il file del database '%1' è stato spostato o "
                                             "sostituito mentre il programma lo usava: uscire e "
                                             "rientrare nel programma.")
                                  .arg(percorso));
            return Errore(ErrSolaLettura,
                          QStringLiteral("Impossibile aggiornare. Il database '%1' è di sola "
                                         "lettura.")
                              .arg(percorso));
        case SQLITE_IOERR:
            return Errore(ErrIO, QStringLiteral("Errore di I/O sul disco nel database '%1' (%2).")
                                     .arg(percorso, dettaglio));
        case SQLITE_CORRUPT:
            return Errore(ErrDanneggiato,
                          QStringLiteral("Il database '%1' è danneggiato.").arg(percorso));
        case SQLITE_FULL:
            return Errore(ErrDiscoPieno,
                          QStringLiteral("Spazio su disco insufficiente per il database '%1'.")
                              .arg(percorso));
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return Errore(ErrAccesso,
                          QStringLiteral("Impossibile aprire il database '%1'. Manca il "
                                         "permesso di accesso o il file è in uso.")
                              .arg(percorso));
        case SQLITE_NOTADB:
            return Errore(
                ErrFormato,
                QStringLiteral("Formato di database non riconosciuto '%1'.").arg(percorso));
        case SQLITE_CONSTRAINT:
            if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY)
                return ErroreChiaveDuplicata();
            return Errore(ErrGenerico,
                          QStringLiteral("Vincolo non rispettato (%1).").arg(dettaglio));
        case SQLITE_ERROR:
            if (dettaglio.startsWith(QLatin1String("no such table")))
                return ErroreTabellaMancante(dettaglio.section(':', 1).trimmed());
            return Errore(ErrSintassi,
                          QStringLiteral("Errore nell'istruzione SQL (%1).").arg(dettaglio));
        default:
            return Errore(ErrGenerico,
                          QStringLiteral("Errore del motore di database (%1).").arg(dettaglio));
    }
}

Errore RegistroInutilizzabile(const QString& percorso, bool rete, const QString& causa) {
    if (rete)
        return Errore(ErrAccesso,
                      QStringLiteral("Il database '%1' è in modalità WAL, che da una cartella di "
                                     "rete non si può condividere (%2): chiudere i programmi che "
                                     "lo usano dal computer su cui si trova e riprovare.")
                          .arg(percorso, causa));
    return Errore(ErrAccesso,
                  QStringLiteral("Il database '%1' è in modalità WAL e accanto non si possono "
                                 "creare i file del registro (%2): aprirlo una volta da un utente "
                                 "che può scrivere nella sua cartella.")
                      .arg(percorso, causa));
}

void DatabaseSqlite::Solleva(int rc) const {
    const QString dettaglio = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString();
    // A folder that refuses a new file says so by its own code where the permission bits
    // refuse it, and cannot open where another reason does.
    if ((rc & 0xff) == SQLITE_CANTOPEN || rc == SQLITE_READONLY_DIRECTORY) {
        // The file itself is open: what cannot be opened now is a file beside it. Either the
        // log of a file in write-ahead-log mode (which a connection on a network folder never
        // shares, and a write-protected folder cannot hold), or the journal, which such a
        // folder refuses.
        if (InModalitaWal(Percorso())) throw RegistroInutilizzabile(Percorso(), rete_, dettaglio);
        rc = SQLITE_READONLY_DIRECTORY;
    }
    throw ErroreDa(rc, dettaglio, Percorso());
}

}  // namespace motore::sqlite
