#include "engine/sqlite/Sqlite.h"

#include "engine/Dialetto.h"
#include "engine/sqlite/Rete.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace motore::sqlite {

namespace {

constexpr const char* kMappa = "PRAGMA mmap_size=2147418112";
// Rows after which a read's pages are let go of (see Rimappa).
constexpr qint64 kLetturaLunga = 10000;

QString Quota(const QString& nome) {
    QString s = nome;
    s.replace('"', QStringLiteral("\"\""));
    return '"' + s + '"';
}

QByteArray Utf8(const QString& s) {
    return s.toUtf8();
}

int DimensioneDa(const QString& tipo) {
    static const QRegularExpression conDimensione(QStringLiteral("\\(\\s*(\\d+)"));
    auto m = conDimensione.match(tipo);
    if (m.hasMatch()) return m.captured(1).toInt();
    const QString t = tipo.toUpper();
    if (t.contains(QLatin1String("INT"))) return 4;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("DOUB")) ||
        t.contains(QLatin1String("FLOA")))
        return 8;
    if (t.isEmpty()) return 0;
    return 255;
}

QVariant ValoreColonna(sqlite3_stmt* st, int i) {
    switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER:
            return QVariant(static_cast<qint64>(sqlite3_column_int64(st, i)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(st, i));
        case SQLITE_TEXT: {
            auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            return QVariant(QString::fromUtf8(t, sqlite3_column_bytes(st, i)));
        }
        case SQLITE_BLOB: {
            auto* b = static_cast<const char*>(sqlite3_column_blob(st, i));
            return QVariant(QByteArray(b, sqlite3_column_bytes(st, i)));
        }
        default:
            return QVariant();
    }
}

int Lega(sqlite3_stmt* st, int i, const QVariant& v) {
    if (v.isNull()) return sqlite3_bind_null(st, i);
    switch (v.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            return sqlite3_bind_int64(st, i, v.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return sqlite3_bind_double(st, i, v.toDouble());
        case QMetaType::QDate:
            return sqlite3_bind_int64(st, i, QDate(1899, 12, 30).daysTo(v.toDate()));
        case QMetaType::QByteArray: {
            QByteArray b = v.toByteArray();
            return sqlite3_bind_blob(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
        }
        default: {
            QByteArray t = v.toString().toUtf8();
            return sqlite3_bind_text(st, i, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        }
    }
}

// Resets a cached statement when it goes out of scope, so that no read lock outlives the
// call that took it.
struct Azzera {
    sqlite3_stmt* st;
    ~Azzera() {
        if (st) {
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
        }
    }
};

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
                return Errore(ErrChiaveDuplicata,
                              QStringLiteral("Le modifiche richieste non sono state apportate "
                                             "perché avrebbero creato valori duplicati "
                                             "nell'indice o nella chiave primaria."));
            return Errore(ErrGenerico,
                          QStringLiteral("Vincolo non rispettato (%1).").arg(dettaglio));
        case SQLITE_ERROR:
            if (dettaglio.startsWith(QLatin1String("no such table")))
                return Errore(ErrTabellaMancante,
                              QStringLiteral("Impossibile trovare la tabella o la query di "
                                             "input '%1'.")
                                  .arg(dettaglio.section(':', 1).trimmed()));
            return Errore(ErrSintassi,
                          QStringLiteral("Errore nell'istruzione SQL (%1).").arg(dettaglio));
        default:
            return Errore(ErrGenerico,
                          QStringLiteral("Errore del motore di database (%1).").arg(dettaglio));
    }
}

quint32 Grande32(const QByteArray& b, int da) {
    return (quint32(quint8(b[da])) << 24) | (quint32(quint8(b[da + 1])) << 16) |
           (quint32(quint8(b[da + 2])) << 8) | quint32(quint8(b[da + 3]));
}

// Checks the file before SQLite sees it: SQLite would take an empty file for a new
// database and reads a truncated one without complaint until it reaches the missing pages.
// True when the file is in write-ahead-log mode.
bool ControllaFile(const QString& percorso) {
    QFileInfo fi(percorso);
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
    quint32 pagina = (quint32(quint8(testa[16])) << 8) | quint8(testa[17]);
    if (pagina == 1) pagina = 65536;
    const bool wal = quint8(testa[18]) == 2;
    const quint32 pagine = Grande32(testa, 28);
    const bool conteggioValido = pagine > 0 && Grande32(testa, 24) == Grande32(testa, 92);
    if (pagina < 512 || (pagina & (pagina - 1)) != 0 ||
        (!wal && conteggioValido && qint64(pagine) * pagina > f.size()))
        throw Errore(ErrDanneggiato,
                     QStringLiteral("Il database '%1' è danneggiato.").arg(percorso));
    return wal;
}

bool InModalitaWal(const QString& percorso) {
    QFile f(percorso);
    const QByteArray testa = f.open(QIODevice::ReadOnly) ? f.read(20) : QByteArray();
    return testa.size() == 20 && quint8(testa[18]) == 2;
}

// A file in write-ahead-log mode whose log this connection cannot use.
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

// The text of a pragma's first row; empty when it fails, with the engine's code in rc.
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

class RecordsetSqlite;

class DatabaseSqlite final : public Database {
  public:
    DatabaseSqlite(sqlite3* db, const QString& percorso, Workspace& ws, bool rete)
        : Database(percorso, ws), db_(db), rete_(rete) {
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, ws.AttesaBlocco());
    }
    ~DatabaseSqlite() override { Close(); }

    std::unique_ptr<Recordset> OpenTable(const QString& tabella) override;
    std::unique_ptr<Recordset> OpenSnapshot(const QString& sql) override;
    void Esegui(const QString& sqlNativo, const QVariantList& parametri = {}) override;
    std::vector<QVariantList> Righe(const QString& sqlNativo,
                                    const QVariantList& parametri = {}) override;
    QStringList Piano(const QString& sql) override;
    QString Nativo(const QString& sql) override { return Traduci(sql); }
    void CreaTabella(const QString& nome, const std::vector<DefColonna>& colonne) override;
    void CreaIndice(const QString& tabella, const QString& nome, const QStringList& colonne,
                    TipoIndice tipo) override;
    void Carica(const QString& tabella, const QStringList& colonne,
                const std::function<bool(QVariantList&)>& riga) override;
    QStringList Tabelle() override;
    std::vector<DefColonna> Colonne(const QString& tabella) override;
    std::vector<DefIndice> Indici(const QString& tabella) override;
    void Close() override;
    bool Aperto() const override { return db_ != nullptr; }

    // Every statement goes through here: inside a workspace transaction the database
    // joins it (taking the write lock) before its first statement runs.
    void PrimaDiEseguire();
    sqlite3_stmt* Prepara(const QString& sqlNativo);  // cached
    [[noreturn]] void Solleva(int rc) const;
    const std::vector<Colonna>& ColonneDi(const QString& tabella);
    // Whether an index of the table leads with the column compared case blind.
    bool Cercabile(const QString& tabella, const QString& colonna);
    // The table as the dialect orders it; null when there is none.
    const SchemaTabella* Schema(const QString& tabella);
    // The translation of a query in the forms' dialect.
    QString Traduci(const QString& sql);
    void Registra(RecordsetSqlite* rs) { recordset_.push_back(rs); }
    void Rimuovi(RecordsetSqlite* rs) {
        recordset_.erase(std::remove(recordset_.begin(), recordset_.end(), rs), recordset_.end());
    }
    sqlite3* Connessione() const { return db_; }
    // After a long read the file's mapping (see DatabaseDa) is made anew, so that the pages
    // that read touched leave the program's memory.
    void Rimappa();
    // Puts the file in write-ahead-log mode, where readers never hold up a writer; where that
    // cannot be the file keeps its rollback journal.
    void UsaRegistro();

  private:
    void CommitLocale() override;
    void RollbackLocale() override;
    void ImpostaAttesa(int millisecondi) override {
        if (db_) sqlite3_busy_timeout(db_, millisecondi);
    }

    // A write to a file that another was renamed over would land in the old file, or in a
    // log that the new one would then take for its own.
    void ControllaSpostato();

    sqlite3* db_ = nullptr;
    bool rete_;         // on a network folder: never in write-ahead-log mode
    bool wal_ = false;  // put in that mode by this connection
    bool inTransazione_ = false;
    std::map<QString, sqlite3_stmt*> istruzioni_;
    std::map<QString, std::vector<Colonna>> colonne_;
    std::map<QString, QStringList> cercabili_;  // by table, lower case
    std::map<QString, SchemaTabella> schemi_;   // by table, lower case
    qint64 versioneSchema_ = -1;                // the schema they were read from
    void ControllaVersione();
    std::vector<RecordsetSqlite*> recordset_;
};

class RecordsetSqlite final : public Recordset {
  public:
    RecordsetSqlite(DatabaseSqlite& db, bool tabella) : Recordset(tabella), db_(&db) {
        db.Registra(this);
    }
    ~RecordsetSqlite() override { Close(); }

    // The database was closed under us.
    void Staccato() {
        if (snapshot_) sqlite3_finalize(snapshot_);
        snapshot_ = nullptr;
        db_ = nullptr;
        Recordset::Staccato();
    }

  private:
    friend class DatabaseSqlite;
    bool Aperto() const override { return db_ != nullptr; }
    QStringList ColonneIndice(const QString& nome) override;
    bool Primo() override;
    bool Cerca(const QString& op, const QVariantList& chiavi) override;
    bool Successivo() override;
    void Inserisci(const std::vector<int>& colonne, const QVariantList& valori) override;
    void Aggiorna(const std::vector<int>& colonne, const QVariantList& valori) override;
    void Cancella() override;
    bool AvanzaSnapshot() override;
    QVariant ValoreSnapshot(int indice) const override { return ValoreColonna(snapshot_, indice); }
    QByteArrayView Utf8Snapshot(int indice, bool* nullo) const override;
    void Chiudi() override;

    void CaricaRiga(sqlite3_stmt* st, int primaColonna);
    QString Selezione() const;
    QString Ordine(bool discendente) const;
    bool Posiziona(const QString& sql, const QVariantList& parametri);

    DatabaseSqlite* db_;
    QString nomeTabella_;
    qint64 rowid_ = 0;                  // the current row of a table
    sqlite3_stmt* snapshot_ = nullptr;  // owned while the snapshot is being read
    mutable QByteArray numero_;         // the text of the last number FieldUtf8 gave
    mutable char cifre_[24] = {};       // ... when it was a whole one
    qint64 lette_ = 0;                  // rows the snapshot has read
    void FineLettura() {
        if (lette_ >= kLetturaLunga && db_) db_->Rimappa();
        lette_ = 0;
    }
};

// ---------------------------------------------------------------------------------------
// Database

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
        // has it open this fails at once and leaves the mode to that one.
        sqlite3_busy_timeout(db_, 0);
        sqlite3_exec(db_, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    }
    sqlite3_close_v2(db_);
    db_ = nullptr;
    Stacca();
}

void DatabaseSqlite::Solleva(int rc) const {
    const QString dettaglio = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString();
    if ((rc & 0xff) == SQLITE_CANTOPEN) {
        // The file itself is open: what cannot be opened now is a file beside it. Either the
        // log of a file in write-ahead-log mode (which a connection on a network folder never
        // shares, and a write-protected folder cannot hold), or the journal, which such a
        // folder refuses.
        if (InModalitaWal(Percorso())) throw RegistroInutilizzabile(Percorso(), rete_, dettaglio);
        rc = SQLITE_READONLY_DIRECTORY;
    }
    throw ErroreDa(rc, dettaglio, Percorso());
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
    if (wal_) sqlite3_exec(db_, "PRAGMA journal_size_limit=4194304", nullptr, nullptr, nullptr);
}

void DatabaseSqlite::Rimappa() {
    if (rete_ || !db_) return;
    sqlite3_exec(db_, "PRAGMA mmap_size=0", nullptr, nullptr, nullptr);
    sqlite3_exec(db_, kMappa, nullptr, nullptr, nullptr);
}

void DatabaseSqlite::PrimaDiEseguire() {
    if (!db_) throw Errore(ErrGenerico, QStringLiteral("Il database è chiuso."));
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
    if (rc != SQLITE_OK) Solleva(rc);
    inTransazione_ = false;
}

void DatabaseSqlite::RollbackLocale() {
    if (!inTransazione_ || !db_) return;
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    inTransazione_ = false;
}

sqlite3_stmt* DatabaseSqlite::Prepara(const QString& sqlNativo) {
    auto it = istruzioni_.find(sqlNativo);
    if (it != istruzioni_.end()) return it->second;
    sqlite3_stmt* st = nullptr;
    QByteArray testo = Utf8(sqlNativo);
    int rc = sqlite3_prepare_v3(db_, testo.constData(), int(testo.size()),
                                SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        Solleva(rc);
    }
    istruzioni_.emplace(sqlNativo, st);
    return st;
}

void DatabaseSqlite::Esegui(const QString& sqlNativo, const QVariantList& parametri) {
    PrimaDiEseguire();
    sqlite3_stmt* st = Prepara(sqlNativo);
    if (!inTransazione_ && !sqlite3_stmt_readonly(st)) ControllaSpostato();
    Azzera guardia{st};
    for (int i = 0; i < parametri.size(); ++i) Lega(st, i + 1, parametri[i]);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) Solleva(rc);
}

std::vector<QVariantList> DatabaseSqlite::Righe(const QString& sqlNativo,
                                                const QVariantList& parametri) {
    PrimaDiEseguire();
    sqlite3_stmt* st = Prepara(sqlNativo);
    Azzera guardia{st};
    for (int i = 0; i < parametri.size(); ++i) Lega(st, i + 1, parametri[i]);
    std::vector<QVariantList> righe;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        QVariantList riga;
        for (int c = 0; c < sqlite3_column_count(st); ++c) riga.push_back(ValoreColonna(st, c));
        righe.push_back(std::move(riga));
    }
    if (rc != SQLITE_DONE) Solleva(rc);
    return righe;
}

QStringList DatabaseSqlite::Piano(const QString& sql) {
    QStringList piano;
    for (const auto& r : Righe(QStringLiteral("EXPLAIN QUERY PLAN ") + Traduci(sql)))
        piano << r.value(3).toString();
    return piano;
}

void DatabaseSqlite::CreaTabella(const QString& nome, const std::vector<DefColonna>& colonne) {
    QStringList definizioni;
    // RTRIM: comparisons ignore trailing blanks, as the program pads its keys.
    for (const DefColonna& c : colonne)
        definizioni << c.nome +
                           (c.larghezza > 0
                                ? QStringLiteral(" VARCHAR(%1) COLLATE RTRIM").arg(c.larghezza)
                                : QStringLiteral(" INTEGER")) +
                           (c.obbligatoria ? QStringLiteral(" NOT NULL") : QString());
    Esegui(QStringLiteral("CREATE TABLE %1 (%2)").arg(nome, definizioni.join(", ")));
}

void DatabaseSqlite::CreaIndice(const QString& tabella, const QString& nome,
                                const QStringList& colonne, TipoIndice tipo) {
    QStringList chiavi = colonne;
    if (tipo == TipoIndice::Ricerca) chiavi[0] += QStringLiteral(" COLLATE NOCASE");
    // Index names are per database in SQLite: the table's name keeps them apart.
    Esegui(QStringLiteral("CREATE %1INDEX %2 ON %3(%4)")
               .arg(tipo == TipoIndice::Unico ? QStringLiteral("UNIQUE ") : QString(),
                    Quota(tabella + '.' + nome), tabella, chiavi.join(", ")));
}

void DatabaseSqlite::Carica(const QString& tabella, const QStringList& colonne,
                            const std::function<bool(QVariantList&)>& riga) {
    QStringList segnaposto;
    for (int i = 1; i <= colonne.size(); ++i) segnaposto << QStringLiteral("?%1").arg(i);
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(tabella, colonne.join(", "), segnaposto.join(", "));
    QVariantList valori;
    while (riga(valori)) Esegui(sql, valori);
}

QStringList DatabaseSqlite::Tabelle() {
    QStringList nomi;
    for (const auto& r : Righe(QStringLiteral("SELECT name FROM sqlite_master WHERE type = "
                                              "'table' ORDER BY name")))
        nomi << r.value(0).toString();
    return nomi;
}

std::vector<DefColonna> DatabaseSqlite::Colonne(const QString& tabella) {
    std::vector<DefColonna> colonne;
    for (const auto& r : Righe(QStringLiteral("PRAGMA table_info(%1)").arg(Quota(tabella)))) {
        const QString tipo = r.value(2).toString().toUpper();
        DefColonna c{r.value(1).toString(), 0, r.value(3).toInt() != 0};
        if (tipo.contains(QLatin1String("CHAR")))
            c.larghezza = DimensioneDa(tipo);
        else if (!tipo.contains(QLatin1String("INT")))
            throw Errore(ErrFormato, QStringLiteral("La colonna %1.%2 è di un tipo (%3) che il "
                                                    "programma non usa.")
                                         .arg(tabella, c.nome, tipo));
        colonne.push_back(c);
    }
    return colonne;
}

std::vector<DefIndice> DatabaseSqlite::Indici(const QString& tabella) {
    std::vector<DefIndice> indici;
    const auto lista = Righe(QStringLiteral("PRAGMA index_list(%1)").arg(Quota(tabella)));
    // Oldest first, as they were made.
    for (auto r = lista.rbegin(); r != lista.rend(); ++r) {
        const QString nome = r->value(1).toString();
        if (r->value(3).toString() != QLatin1String("c")) continue;  // a constraint's own
        DefIndice i;
        i.nome = nome.startsWith(tabella + '.', Qt::CaseInsensitive) ? nome.mid(tabella.size() + 1)
                                                                     : nome;
        i.tipo = r->value(2).toInt() ? TipoIndice::Unico : TipoIndice::Normale;
        for (const auto& c : Righe(QStringLiteral("PRAGMA index_xinfo(%1)").arg(Quota(nome)))) {
            if (c.value(5).toInt() == 0) continue;  // not a key column
            if (i.colonne.isEmpty() &&
                c.value(4).toString().compare(QLatin1String("NOCASE"), Qt::CaseInsensitive) == 0)
                i.tipo = TipoIndice::Ricerca;
            i.colonne << c.value(2).toString();
        }
        indici.push_back(i);
    }
    return indici;
}

const std::vector<Colonna>& DatabaseSqlite::ColonneDi(const QString& tabella) {
    auto it = colonne_.find(tabella);
    if (it != colonne_.end()) return it->second;
    std::vector<Colonna> colonne;
    for (const auto& r : Righe(QStringLiteral("PRAGMA table_info(%1)").arg(Quota(tabella)))) {
        Colonna c;
        c.nome = r.value(1).toString();
        c.tipo = r.value(2).toString();
        c.dimensione = DimensioneDa(c.tipo);
        colonne.push_back(c);
    }
    return colonne_.emplace(tabella, std::move(colonne)).first->second;
}

void DatabaseSqlite::ControllaVersione() {
    const qint64 versione = Valore(QStringLiteral("PRAGMA schema_version")).toLongLong();
    if (versione != versioneSchema_) {
        cercabili_.clear();
        schemi_.clear();
        versioneSchema_ = versione;
    }
}

const SchemaTabella* DatabaseSqlite::Schema(const QString& tabella) {
    const QString nome = tabella.toLower();
    auto it = schemi_.find(nome);
    if (it != schemi_.end()) return &it->second;
    SchemaTabella t;
    for (const auto& r : Righe(QStringLiteral("PRAGMA table_info(%1)").arg(Quota(tabella)))) {
        const QString tipo = r.value(2).toString().toUpper();
        t.colonne.push_back({r.value(1).toString(),
                             tipo.contains(QLatin1String("CHAR")) ||
                                 tipo.contains(QLatin1String("TEXT")) ||
                                 tipo.contains(QLatin1String("CLOB")),
                             r.value(3).toInt() == 0});
    }
    if (t.colonne.empty()) return nullptr;
    // The index primaria, else the first unique one, as they were made.
    QString chiave;
    const auto indici = Righe(QStringLiteral("PRAGMA index_list(%1)").arg(Quota(tabella)));
    for (auto r = indici.rbegin(); r != indici.rend(); ++r) {
        const QString n = r->value(1).toString();
        if (n.compare(tabella + QStringLiteral(".primaria"), Qt::CaseInsensitive) == 0 ||
            n.compare(QLatin1String("primaria"), Qt::CaseInsensitive) == 0) {
            chiave = n;
            break;
        }
        if (chiave.isEmpty() && r->value(2).toInt()) chiave = n;
    }
    if (!chiave.isEmpty())
        for (const auto& c : Righe(QStringLiteral("PRAGMA index_info(%1)").arg(Quota(chiave))))
            t.chiave << c.value(2).toString();
    return &schemi_.emplace(nome, std::move(t)).first->second;
}

QString DatabaseSqlite::Traduci(const QString& sql) {
    ControllaVersione();
    return TraduciPerSqlite(
        sql,
        [this](const QString& tabella, const QString& colonna) {
            return Cercabile(tabella, colonna);
        },
        [this](const QString& tabella) { return Schema(tabella); });
}

bool DatabaseSqlite::Cercabile(const QString& tabella, const QString& colonna) {
    const QString chiave = tabella.toLower();
    auto it = cercabili_.find(chiave);
    if (it == cercabili_.end()) {
        QStringList colonne;
        for (const auto& indice :
             Righe(QStringLiteral("PRAGMA index_list(%1)").arg(Quota(tabella)))) {
            const auto info = Righe(
                QStringLiteral("PRAGMA index_xinfo(%1)").arg(Quota(indice.value(1).toString())));
            // The first key column: its name and its collation.
            if (!info.empty() && info.front().value(4).toString().compare(QLatin1String("NOCASE"),
                                                                          Qt::CaseInsensitive) == 0)
                colonne << info.front().value(2).toString().toLower();
        }
        it = cercabili_.emplace(chiave, colonne).first;
    }
    return it->second.contains(colonna.toLower());
}

std::unique_ptr<Recordset> DatabaseSqlite::OpenTable(const QString& tabella) {
    PrimaDiEseguire();
    QVariant nome = Valore(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                          "AND name = ?1 COLLATE NOCASE"),
                           {tabella});
    if (nome.isNull())
        throw Errore(ErrTabellaMancante,
                     QStringLiteral("Impossibile trovare la tabella o la query di input '%1'.")
                         .arg(tabella));
    auto rs = std::make_unique<RecordsetSqlite>(*this, true);
    rs->nomeTabella_ = nome.toString();
    rs->colonne_ = ColonneDi(rs->nomeTabella_);
    rs->MoveFirst();
    return rs;
}

std::unique_ptr<Recordset> DatabaseSqlite::OpenSnapshot(const QString& sql) {
    PrimaDiEseguire();
    const QString nativo = Traduci(sql);
    sqlite3_stmt* st = nullptr;
    QByteArray testo = Utf8(nativo);
    int rc = sqlite3_prepare_v2(db_, testo.constData(), int(testo.size()), &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        Solleva(rc);
    }
    auto rs = std::make_unique<RecordsetSqlite>(*this, false);
    rs->snapshot_ = st;
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
        Colonna col;
        col.nome = QString::fromUtf8(sqlite3_column_name(st, c));
        const char* tipo = sqlite3_column_decltype(st, c);
        col.tipo = tipo ? QString::fromUtf8(tipo) : QString();
        col.dimensione = DimensioneDa(col.tipo);
        rs->colonne_.push_back(col);
    }
    rs->eof_ = false;
    rs->MoveNext();
    return rs;
}

// ---------------------------------------------------------------------------------------
// Recordset

void RecordsetSqlite::Chiudi() {
    FineLettura();
    if (snapshot_) {
        sqlite3_finalize(snapshot_);
        snapshot_ = nullptr;
    }
    if (db_) db_->Rimuovi(this);
    db_ = nullptr;
}

void RecordsetSqlite::CaricaRiga(sqlite3_stmt* st, int primaColonna) {
    riga_.resize(colonne_.size());
    for (size_t i = 0; i < colonne_.size(); ++i)
        riga_[i] = ValoreColonna(st, int(i) + primaColonna);
}

QString RecordsetSqlite::Ordine(bool discendente) const {
    QStringList parti;
    const QString verso = discendente ? QStringLiteral(" DESC") : QString();
    for (const QString& c : colonneIndice_) parti << Quota(c) + verso;
    parti << QStringLiteral("rowid") + verso;
    return parti.join(QStringLiteral(", "));
}

bool RecordsetSqlite::Posiziona(const QString& sql, const QVariantList& parametri) {
    db_->PrimaDiEseguire();
    sqlite3_stmt* st = db_->Prepara(sql);
    Azzera guardia{st};
    for (int i = 0; i < parametri.size(); ++i) Lega(st, i + 1, parametri[i]);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        rowid_ = sqlite3_column_int64(st, 0);
        CaricaRiga(st, 1);
        haRiga_ = true;
        return true;
    }
    if (rc != SQLITE_DONE) db_->Solleva(rc);
    haRiga_ = false;
    return false;
}

QString RecordsetSqlite::Selezione() const {
    return QStringLiteral("SELECT rowid, * FROM %1").arg(Quota(nomeTabella_));
}

bool RecordsetSqlite::Primo() {
    return Posiziona(
        Selezione() + QStringLiteral(" ORDER BY ") + Ordine(false) + QStringLiteral(" LIMIT 1"),
        {});
}

QStringList RecordsetSqlite::ColonneIndice(const QString& nome) {
    const QString qualificato = nomeTabella_ + '.' + nome;
    QString trovato;
    for (const auto& r :
         db_->Righe(QStringLiteral("PRAGMA index_list(%1)").arg(Quota(nomeTabella_)))) {
        const QString n = r.value(1).toString();
        if (n.compare(qualificato, Qt::CaseInsensitive) == 0 ||
            n.compare(nome, Qt::CaseInsensitive) == 0) {
            trovato = n;
            break;
        }
    }
    if (trovato.isEmpty())
        throw Errore(ErrIndiceMancante,
                     QStringLiteral("'%1' non è un indice di questa tabella.").arg(nome));
    QStringList colonne;
    for (const auto& r : db_->Righe(QStringLiteral("PRAGMA index_info(%1)").arg(Quota(trovato))))
        colonne << r.value(2).toString();
    return colonne;
}

bool RecordsetSqlite::Cerca(const QString& op, const QVariantList& chiavi) {
    const int k = int(chiavi.size());
    QStringList colonne, segnaposto;
    for (int i = 0; i < k; ++i) {
        colonne << Quota(colonneIndice_[i]);
        segnaposto << QStringLiteral("?%1").arg(i + 1);
    }
    const QString condizione = CondizioneSeek(op, colonne, segnaposto);
    const bool indietro = op.startsWith('<');
    const QString sql = Selezione() + QStringLiteral(" WHERE ") + condizione +
                        QStringLiteral(" ORDER BY ") + Ordine(indietro) +
                        QStringLiteral(" LIMIT 1");
    return Posiziona(sql, chiavi);
}

bool RecordsetSqlite::AvanzaSnapshot() {
    if (!snapshot_) return false;
    int rc = sqlite3_step(snapshot_);
    if (rc == SQLITE_ROW) {
        // A snapshot's values are read from the engine when asked for, never all of them
        // for every row.
        haRiga_ = true;
        ++lette_;
        return true;
    }
    // Release the read lock as soon as the rows run out.
    sqlite3_reset(snapshot_);
    FineLettura();
    haRiga_ = false;
    if (rc != SQLITE_DONE) db_->Solleva(rc);
    return false;
}

bool RecordsetSqlite::Successivo() {
    QVariantList chiavi;
    QStringList colonne, segnaposto;
    for (int i = 0; i < colonneIndice_.size(); ++i) {
        colonne << Quota(colonneIndice_[i]);
        chiavi << riga_[size_t(IndiceColonna(colonneIndice_[i]))];
    }
    colonne << QStringLiteral("rowid");
    chiavi << rowid_;
    for (int i = 0; i < chiavi.size(); ++i) segnaposto << QStringLiteral("?%1").arg(i + 1);
    const QString sql = Selezione() + QStringLiteral(" WHERE (") + colonne.join(", ") +
                        QStringLiteral(") > (") + segnaposto.join(", ") +
                        QStringLiteral(") ORDER BY ") + Ordine(false) + QStringLiteral(" LIMIT 1");
    return Posiziona(sql, chiavi);
}

void RecordsetSqlite::Inserisci(const std::vector<int>& colonne, const QVariantList& valori) {
    QStringList nomi, segnaposto;
    for (size_t i = 0; i < colonne.size(); ++i) {
        nomi << Quota(colonne_[size_t(colonne[i])].nome);
        segnaposto << QStringLiteral("?%1").arg(i + 1);
    }
    const QString sql =
        nomi.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(Quota(nomeTabella_))
                       : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                             .arg(Quota(nomeTabella_), nomi.join(", "), segnaposto.join(", "));
    db_->Esegui(sql, valori);
}

void RecordsetSqlite::Aggiorna(const std::vector<int>& colonne, const QVariantList& valori) {
    QStringList assegna;
    for (size_t i = 0; i < colonne.size(); ++i)
        assegna << Quota(colonne_[size_t(colonne[i])].nome) + QStringLiteral(" = ?%1").arg(i + 1);
    QVariantList parametri = valori;
    parametri << rowid_;
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3")
                            .arg(Quota(nomeTabella_), assegna.join(", "))
                            .arg(parametri.size());
    db_->Esegui(sql, parametri);
    // Read the row back as stored, with the column types it now has.
    Posiziona(Selezione() + QStringLiteral(" WHERE rowid = ?1"), {rowid_});
}

void RecordsetSqlite::Cancella() {
    db_->Esegui(QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(Quota(nomeTabella_)),
                {rowid_});
}

QByteArrayView RecordsetSqlite::Utf8Snapshot(int indice, bool* nullo) const {
    const int tipo = sqlite3_column_type(snapshot_, indice);
    if (nullo) *nullo = tipo == SQLITE_NULL;
    if (tipo == SQLITE_TEXT)
        return QByteArrayView(reinterpret_cast<const char*>(sqlite3_column_text(snapshot_, indice)),
                              sqlite3_column_bytes(snapshot_, indice));
    if (tipo == SQLITE_NULL) return {};
    // Asking the engine for the text of a number would change the column's type for the
    // rest of the row.
    if (tipo == SQLITE_INTEGER) {
        const auto fine =
            std::to_chars(cifre_, cifre_ + sizeof cifre_, sqlite3_column_int64(snapshot_, indice))
                .ptr;
        return QByteArrayView(cifre_, fine - cifre_);
    }
    numero_ = ValoreColonna(snapshot_, indice).toString().toUtf8();
    return numero_;
}

}  // namespace

namespace {

sqlite3* Connetti(const QString& percorso, int flag, bool rete) {
    sqlite3* raw = nullptr;
    // Each connection is used by one thread only: the engine need not lock it for every
    // value a reader asks for.
    const int rc = sqlite3_open_v2(Utf8(percorso).constData(), &raw, flag | SQLITE_OPEN_NOMUTEX,
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
