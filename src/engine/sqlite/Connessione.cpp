// Opening a database file and keeping it safe to share. The design notes:
// - The journal is chosen at the opening, from where the file lives. On a local disk, with
//   the file and its folder writable, the write-ahead log: a reader holds no lock a writer
//   waits for, so a long search never delays another program's save. On a network folder
//   (told by statfs, Rete.cpp) the rollback journal: the log's index is memory the programs
//   of one computer share, which does not reach across computers. The last program to close
//   puts the file back in the rollback journal, so that at rest it is one file.
// - The lock: SQLite's own advisory locks on the file. A transaction takes BEGIN IMMEDIATE
//   with its first statement, so the program's writers take turns and a read-then-write
//   cannot deadlock; a writer waits for another up to the workspace's wait (busy timeout),
//   then fails with 3218.
// - A file is checked before SQLite sees it (an empty or truncated file is no database), and
//   before each write for being replaced under the program.
// - The log and its index take the file's group, so every login of that group writes them.
// - On a local disk reads go through a memory mapping, made anew after a long read so that
//   its pages leave the process; a network folder keeps plain reads and writes.

#include "engine/sqlite/Interno.h"
#include "engine/sqlite/Rete.h"
#include "engine/sqlite/Sqlite.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace motore::sqlite {

namespace {

quint32 Grande32(const QByteArray& b, int da) {
    return (quint32(quint8(b[da])) << 24) | (quint32(quint8(b[da + 1])) << 16) |
           (quint32(quint8(b[da + 2])) << 8) | quint32(quint8(b[da + 3]));
}

// Checks the file before SQLite sees it: SQLite would take an empty file for a new
// database and reads a truncated one without complaint until it reaches the missing pages.
// True when the file is in write-ahead-log mode.
bool ControllaFile(const QString& percorso) {
    QFileInfo fi(percorso);
    // Only a name that is not there is missing: a folder this login may not enter hides a
    // file that is.
    struct stat st {};
    if (::stat(QFile::encodeName(percorso).constData(), &st) != 0 && errno != ENOENT &&
        errno != ENOTDIR)
        throw Errore(ErrAccesso, QStringLiteral("Impossibile aprire il database '%1'. Manca il "
                                                "permesso di accesso o il file è in uso.")
                                     .arg(percorso));
    if (!fi.exists())
        throw Errore(ErrFileMancante,
                     QStringLiteral("Impossibile trovare il file '%1'.").arg(percorso));
    if (!fi.isFile())
        throw Errore(ErrFormato,
                     QStringLiteral("Formato di database non riconosciuto '%1'.").arg(percorso));
    QFile f(percorso);
    if (!f.open(QIODevice::ReadOnly))
        throw Errore(ErrAccesso, QStringLiteral("Impossibile aprire il database '%1'. Manca il "
                                                "permesso di accesso o il file è in uso.")
                                     .arg(percorso));
    const QByteArray testa = f.read(100);
    if (testa.size() < 100 || !testa.startsWith(QByteArray("SQLite format 3\0", 16)))
        throw Errore(ErrFormato,
                     QStringLiteral("Formato di database non riconosciuto '%1'.").arg(percorso));
    quint32 pagina = (quint32(quint8(testa[kTestaPagina])) << 8) | quint8(testa[kTestaPagina + 1]);
    if (pagina == 1) pagina = 65536;
    const bool wal = quint8(testa[kTestaVersione]) == kVersioneRegistro;
    const quint32 pagine = Grande32(testa, kTestaPagine);
    const bool conteggioValido =
        pagine > 0 && Grande32(testa, kTestaModifiche) == Grande32(testa, kTestaValidita);
    if (pagina < 512 || (pagina & (pagina - 1)) != 0 ||
        (!wal && conteggioValido && qint64(pagine) * pagina > f.size()))
        throw Errore(ErrDanneggiato,
                     QStringLiteral("Il database '%1' è danneggiato.").arg(percorso));
    return wal;
}

// Whether the program may write the file and make files beside it (the journal or the log),
// symbolic links followed as SQLite follows them.
bool Scrivibile(const QString& percorso) {
    const QString vero = QFileInfo(percorso).canonicalFilePath();
    return ::access(QFile::encodeName(vero).constData(), W_OK) == 0 &&
           ::access(QFile::encodeName(QFileInfo(vero).absolutePath()).constData(), W_OK | X_OK) ==
               0;
}

// The log and its index are made with the database file's rights but with the group of the
// login that made them, unless the folder hands its own down: they take the file's group, so
// that the other logins of that group can write them too. (SQLite gives root's the file's
// owner and group itself.) Changed by name, never opened: closing a descriptor of the index
// would drop the locks SQLite holds on it.
void AlGruppoDelFile(const QString& percorso) {
    if (geteuid() == 0) return;
    const QByteArray vero = QFile::encodeName(QFileInfo(percorso).canonicalFilePath());
    struct stat file {};
    if (vero.isEmpty() || ::stat(vero.constData(), &file) != 0) return;
    for (const char* accanto : {"-wal", "-shm"}) {
        const QByteArray nome = vero + accanto;
        struct stat st {};
        if (::lstat(nome.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
            st.st_gid != file.st_gid && ::lchown(nome.constData(), uid_t(-1), file.st_gid) != 0) {
            // A login outside the file's group cannot: the others are told at their opening.
        }
    }
}

sqlite3* Connetti(const QString& percorso, int flag, bool rete) {
    sqlite3* raw = nullptr;
    // Each connection is used by one thread only: the engine need not lock it for every
    // value a reader asks for.
    const int rc = sqlite3_open_v2(percorso.toUtf8().constData(), &raw, flag | SQLITE_OPEN_NOMUTEX,
                                   rete ? VfsSenzaMemoriaCondivisa() : nullptr);
    if (rc != SQLITE_OK) {
        const QString dettaglio = raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QString();
        sqlite3_close_v2(raw);
        throw ErroreDa(rc, dettaglio, percorso);
    }
    return raw;
}

// A file left in write-ahead-log mode (a program on the computer that holds the disk has it
// open, or one ended without closing it) goes back to the rollback journal before a
// connection on a network folder uses it. That connection holds the file alone (so it waits
// for, or fails on, any program that has it open) and keeps the log's index in its own
// memory, never in memory shared through the network.
void RiportaAlGiornale(const QString& percorso, int attesaMs) {
    sqlite3* raw = Connetti(percorso, SQLITE_OPEN_READWRITE, true);
    sqlite3_busy_timeout(raw, attesaMs);
    int rc = sqlite3_exec(raw, "PRAGMA locking_mode=EXCLUSIVE; SELECT count(*) FROM sqlite_master",
                          nullptr, nullptr, nullptr);
    const bool riuscito =
        rc == SQLITE_OK && Pragma(raw, "PRAGMA journal_mode=DELETE", rc) == "delete";
    const QString causa = QString::fromUtf8(sqlite3_errmsg(raw));
    sqlite3_close_v2(raw);
    if (!riuscito) throw RegistroInutilizzabile(percorso, true, causa);
}

// The journal is chosen at the opening, from where the file lives. On a local disk, with the
// file and its folder writable, the write-ahead log: a reader holds no lock a writer waits
// for, so a long search never delays another program's save. On a network folder the
// rollback journal: the log's index is memory that the programs share, which does not reach
// across computers. In a folder the program cannot write the file stays as it is.
std::unique_ptr<Database> DatabaseDa(sqlite3* raw, const QString& percorso, Workspace& ws,
                                     bool rete, bool registro = true) {
    auto db = std::make_unique<DatabaseSqlite>(raw, percorso, ws, rete);
    // On a local disk a search reads the file through a memory mapping, without a system
    // call for every page, and sorts in memory instead of writing the sort's overflow to a
    // temporary file. A network folder keeps the engine's plain reads and writes, which its
    // locking is made for.
    if (!rete) {
        sqlite3_exec(raw, kMappa, nullptr, nullptr, nullptr);
        sqlite3_exec(raw, "PRAGMA temp_store=MEMORY", nullptr, nullptr, nullptr);
    }
    // Reading the schema makes SQLite check the header and the first pages.
    db->Valore(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    if (registro && !rete && Scrivibile(percorso)) {
        db->UsaRegistro();
        // A read in the new mode makes the log and its index, if no other program has.
        db->Valore(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        AlGruppoDelFile(percorso);
    }
    return db;
}

bool InRete(const QString& percorso, const Workspace& ws) {
    return ws.CartellaDiRete() || SuFileSystemDiRete(percorso);
}

}  // namespace

bool InModalitaWal(const QString& percorso) {
    QFile f(percorso);
    const QByteArray testa = f.open(QIODevice::ReadOnly) ? f.read(20) : QByteArray();
    return testa.size() == 20 && quint8(testa[kTestaVersione]) == kVersioneRegistro;
}

QByteArray Pragma(sqlite3* db, const char* sql, int& rc) {
    sqlite3_stmt* st = nullptr;
    QByteArray valore;
    rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            valore = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(st);
    return valore.toLower();
}

void DatabaseSqlite::Close() {
    if (!db_) return;
    for (RecordsetSqlite* rs : recordset_) rs->Staccato();
    recordset_.clear();
    if (inTransazione_) RollbackLocale();
    for (auto& [sql, st] : istruzioni_) sqlite3_finalize(st);
    istruzioni_.clear();
    if (wal_) {
        // The last program to close puts the file back in the rollback journal, so that at
        // rest it is one file that any folder, tool or copy can take. While another program
        // has it open this fails at once and leaves the mode to that one; the saves are
        // copied into the file first all the same, since that one may never write (a login
        // that can only read) and the log would then keep them past every program's end.
        sqlite3_busy_timeout(db_, 0);
        sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        sqlite3_exec(db_, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    }
    sqlite3_close_v2(db_);
    db_ = nullptr;
    Stacca();
}

void DatabaseSqlite::ControllaSpostato() {
    int spostato = 0;
    if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &spostato) == SQLITE_OK &&
        spostato)
        Solleva(SQLITE_READONLY_DBMOVED);
}

void DatabaseSqlite::UsaRegistro() {
    int rc = SQLITE_OK;
    wal_ = Pragma(db_, "PRAGMA journal_mode=WAL", rc) == "wal";
    // The log grows while a read keeps it from being copied into the file; once it has been,
    // it goes back to this size instead of keeping its largest.
    if (wal_) sqlite3_exec(db_, kLimiteRegistro, nullptr, nullptr, nullptr);
}

void DatabaseSqlite::Rimappa() {
    if (rete_ || !db_) return;
    sqlite3_exec(db_, "PRAGMA mmap_size=0", nullptr, nullptr, nullptr);
    sqlite3_exec(db_, kMappa, nullptr, nullptr, nullptr);
}

void DatabaseSqlite::PrimaDiEseguire() {
    if (!db_) throw ErroreDatabaseChiuso();
    if (ws_ && ws_->InTransazione() && !inTransazione_) {
        ControllaSpostato();
        // IMMEDIATE takes the write lock now (waiting for another writer up to the busy
        // timeout), so a read-then-write inside the transaction cannot deadlock.
        int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) Solleva(rc);
        inTransazione_ = true;
    }
}

void DatabaseSqlite::CommitLocale() {
    if (!inTransazione_ || !db_) return;
    int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    // A failed COMMIT (a reader still on a journal file) leaves SQLite's transaction open:
    // the workspace rolls it back.
    if (rc != SQLITE_OK) Solleva(rc);
    inTransazione_ = false;
}

void DatabaseSqlite::RollbackLocale() {
    if (!inTransazione_ || !db_) return;
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    inTransazione_ = false;
}

std::unique_ptr<Database> Apri(const QString& percorso, Workspace& ws) {
    const bool wal = ControllaFile(percorso);
    const bool rete = InRete(percorso, ws);
    if (rete && wal) RiportaAlGiornale(percorso, ws.AttesaBlocco());
    // Read-write without create: SQLite falls back to read-only for a write-protected file,
    // and a write then fails with a clear error instead of the open.
    return DatabaseDa(Connetti(percorso, SQLITE_OPEN_READWRITE, rete), percorso, ws, rete);
}

std::unique_ptr<Database> Crea(const QString& percorso, Workspace& ws) {
    if (QFileInfo::exists(percorso))
        throw Errore(ErrGenerico, QStringLiteral("Il file '%1' esiste già.").arg(percorso));
    const bool rete = InRete(QFileInfo(percorso).absolutePath(), ws);
    // A new file is its maker's alone until it is complete (the setup tool renames it into
    // place), so it keeps the rollback journal, which writes a bulk load once where the log
    // would write it twice; the programs that open it choose for themselves.
    return DatabaseDa(Connetti(percorso, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, rete),
                      percorso, ws, rete, false);
}

QString NonScrivibile(const QString& percorso) {
    const QString vero = QFileInfo(percorso).canonicalFilePath();
    struct statvfs fs {};
    // A missing file is the opening's to tell; a read-only medium no right can change.
    if (vero.isEmpty() ||
        (::statvfs(QFile::encodeName(vero).constData(), &fs) == 0 && (fs.f_flag & ST_RDONLY)))
        return {};
    auto negato = [](const QString& p, int modo) {
        return ::access(QFile::encodeName(p).constData(), modo) != 0 &&
               (errno == EACCES || errno == EPERM);
    };
    if (negato(vero, R_OK | W_OK))
        return QStringLiteral("il file %1 non è scrivibile da questo utente").arg(vero);
    const QString cartella = QFileInfo(vero).absolutePath();
    if (negato(cartella, W_OK | X_OK))
        return QStringLiteral("la cartella %1 non è scrivibile da questo utente").arg(cartella);
    for (const char* accanto : {"-wal", "-shm", "-journal"})
        if (negato(vero + QLatin1String(accanto), R_OK | W_OK))
            return QStringLiteral("il file %1 non è scrivibile da questo utente")
                .arg(vero + QLatin1String(accanto));
    return {};
}

}  // namespace motore::sqlite
