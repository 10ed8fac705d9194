#include "app/Motore.h"

#include "app/Dialetto.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>

namespace motore {

namespace {

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

bool Testuale(const Colonna& c) {
    const QString t = c.tipo.toUpper();
    return t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("TEXT")) ||
           t.contains(QLatin1String("CLOB"));
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
void ControllaFile(const QString& percorso) {
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
}

}  // namespace

Errore::Errore(int numero, QString descrizione)
    : numero_(numero), descrizione_(std::move(descrizione)) {
    testo_ = (QString::number(numero_) + QStringLiteral(": ") + descrizione_).toStdString();
}

// ---------------------------------------------------------------------------------------
// Workspace

Workspace::~Workspace() {
    for (Database* db : databases_) db->ws_ = nullptr;
}

std::unique_ptr<Database> Workspace::OpenDatabase(const QString& percorso) {
    ControllaFile(percorso);
    sqlite3* raw = nullptr;
    // Read-write without create: SQLite falls back to read-only for a write-protected file,
    // and a write then fails with a clear error instead of the open.
    int rc = sqlite3_open_v2(Utf8(percorso).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        QString dettaglio = raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QString();
        sqlite3_close_v2(raw);
        throw ErroreDa(rc, dettaglio, percorso);
    }
    std::unique_ptr<Database> db(new Database(raw, percorso, *this));
    // Reading the schema makes SQLite check the header and the first pages.
    db->Valore(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    return db;
}

void Workspace::Registra(Database* db) {
    databases_.push_back(db);
}

void Workspace::ImpostaAttesaBlocco(int millisecondi) {
    attesaMs_ = millisecondi;
    for (Database* db : databases_)
        if (db->db_) sqlite3_busy_timeout(db->db_, millisecondi);
}

void Workspace::Rimuovi(Database* db) {
    databases_.erase(std::remove(databases_.begin(), databases_.end(), db), databases_.end());
}

void Workspace::BeginTrans() {
    // The databases join lazily, with their first statement, so a transaction that writes
    // to one database never locks the others.
    inTransazione_ = true;
}

void Workspace::CommitTrans() {
    if (!inTransazione_) return;
    for (Database* db : databases_) db->CommitLocale();
    inTransazione_ = false;
}

void Workspace::Rollback() {
    for (Database* db : databases_) db->RollbackLocale();
    inTransazione_ = false;
}

// ---------------------------------------------------------------------------------------
// Database

Database::Database(sqlite3* db, QString percorso, Workspace& ws)
    : db_(db), percorso_(std::move(percorso)), ws_(&ws) {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, ws.AttesaBlocco());
    ws.Registra(this);
}

Database::~Database() {
    Close();
}

std::unique_ptr<Database> Database::Crea(const QString& percorso, Workspace& ws) {
    if (QFileInfo::exists(percorso))
        throw Errore(ErrGenerico, QStringLiteral("Il file '%1' esiste già.").arg(percorso));
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(Utf8(percorso).constData(), &raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        QString dettaglio = raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QString();
        sqlite3_close_v2(raw);
        throw ErroreDa(rc, dettaglio, percorso);
    }
    return std::unique_ptr<Database>(new Database(raw, percorso, ws));
}

void Database::Close() {
    if (!db_) return;
    for (Recordset* rs : recordset_) rs->Staccato();
    recordset_.clear();
    if (inTransazione_) RollbackLocale();
    for (auto& [sql, st] : istruzioni_) sqlite3_finalize(st);
    istruzioni_.clear();
    sqlite3_close_v2(db_);
    db_ = nullptr;
    if (ws_) ws_->Rimuovi(this);
    ws_ = nullptr;
}

void Database::Solleva(int rc) const {
    // The file itself is open: what cannot be opened now is the journal beside it, which a
    // write-protected folder refuses.
    if ((rc & 0xff) == SQLITE_CANTOPEN) rc = SQLITE_READONLY_DIRECTORY;
    throw ErroreDa(rc, db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString(), percorso_);
}

void Database::PrimaDiEseguire() {
    if (!db_) throw Errore(ErrGenerico, QStringLiteral("Il database è chiuso."));
    if (ws_ && ws_->InTransazione() && !inTransazione_) {
        // IMMEDIATE takes the write lock now (waiting for another writer up to the busy
        // timeout), so a read-then-write inside the transaction cannot deadlock.
        int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) Solleva(rc);
        inTransazione_ = true;
    }
}

void Database::CommitLocale() {
    if (!inTransazione_ || !db_) return;
    int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Solleva(rc);
    inTransazione_ = false;
}

void Database::RollbackLocale() {
    if (!inTransazione_ || !db_) return;
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    inTransazione_ = false;
}

sqlite3_stmt* Database::Prepara(const QString& sqlNativo) {
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

void Database::Esegui(const QString& sqlNativo, const QVariantList& parametri) {
    PrimaDiEseguire();
    sqlite3_stmt* st = Prepara(sqlNativo);
    Azzera guardia{st};
    for (int i = 0; i < parametri.size(); ++i) Lega(st, i + 1, parametri[i]);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) Solleva(rc);
}

QVariant Database::Valore(const QString& sqlNativo, const QVariantList& parametri) {
    auto righe = Righe(sqlNativo, parametri);
    if (righe.empty() || righe.front().isEmpty()) return QVariant();
    return righe.front().front();
}

std::vector<QVariantList> Database::Righe(const QString& sqlNativo, const QVariantList& parametri) {
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

const std::vector<Colonna>& Database::ColonneDi(const QString& tabella) {
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

bool Database::Cercabile(const QString& tabella, const QString& colonna) {
    const qint64 versione = Valore(QStringLiteral("PRAGMA schema_version")).toLongLong();
    if (versione != versioneCercabili_) {
        cercabili_.clear();
        versioneCercabili_ = versione;
    }
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

std::unique_ptr<Recordset> Database::OpenTable(const QString& tabella) {
    PrimaDiEseguire();
    QVariant nome = Valore(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                          "AND name = ?1 COLLATE NOCASE"),
                           {tabella});
    if (nome.isNull())
        throw Errore(ErrTabellaMancante,
                     QStringLiteral("Impossibile trovare la tabella o la query di input '%1'.")
                         .arg(tabella));
    std::unique_ptr<Recordset> rs(new Recordset(*this, true));
    rs->nomeTabella_ = nome.toString();
    rs->colonne_ = ColonneDi(rs->nomeTabella_);
    rs->MoveFirst();
    return rs;
}

std::unique_ptr<Recordset> Database::OpenSnapshot(const QString& sql) {
    PrimaDiEseguire();
    const QString nativo = TraduciSql(sql, [this](const QString& tabella, const QString& colonna) {
        return Cercabile(tabella, colonna);
    });
    sqlite3_stmt* st = nullptr;
    QByteArray testo = Utf8(nativo);
    int rc = sqlite3_prepare_v2(db_, testo.constData(), int(testo.size()), &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        Solleva(rc);
    }
    std::unique_ptr<Recordset> rs(new Recordset(*this, false));
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

Recordset::Recordset(Database& db, bool tabella) : db_(&db), tabella_(tabella) {
    db.recordset_.push_back(this);
}

Recordset::~Recordset() {
    Close();
}

void Recordset::Close() {
    if (snapshot_) {
        sqlite3_finalize(snapshot_);
        snapshot_ = nullptr;
    }
    if (db_) {
        auto& v = db_->recordset_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    db_ = nullptr;
    haRiga_ = false;
    eof_ = true;
    modifica_ = Modifica::Nessuna;
}

void Recordset::Staccato() {
    if (snapshot_) {
        sqlite3_finalize(snapshot_);
        snapshot_ = nullptr;
    }
    db_ = nullptr;
    haRiga_ = false;
    eof_ = true;
    modifica_ = Modifica::Nessuna;
}

void Recordset::RichiediAperto() const {
    if (!db_) throw Errore(ErrGenerico, QStringLiteral("Oggetto chiuso o non valido."));
}

void Recordset::RichiediTabella() const {
    RichiediAperto();
    if (!tabella_)
        throw Errore(ErrGenerico,
                     QStringLiteral("Operazione non supportata per questo tipo di oggetto."));
}

int Recordset::IndiceColonna(const QString& nome) const {
    // Callers mostly spell the name as the table does: that match is the cheap one.
    for (size_t i = 0; i < colonne_.size(); ++i)
        if (colonne_[i].nome == nome) return int(i);
    for (size_t i = 0; i < colonne_.size(); ++i)
        if (colonne_[i].nome.compare(nome, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

int Recordset::ColonnaObbligatoria(const QString& nome) const {
    int i = IndiceColonna(nome);
    if (i < 0)
        throw Errore(ErrCampoMancante,
                     QStringLiteral("Elemento non trovato nell'insieme: '%1'.").arg(nome));
    return i;
}

void Recordset::CaricaRiga(sqlite3_stmt* st, int primaColonna) {
    riga_.resize(colonne_.size());
    for (size_t i = 0; i < colonne_.size(); ++i)
        riga_[i] = ValoreColonna(st, int(i) + primaColonna);
}

QString Recordset::Ordine(bool discendente) const {
    QStringList parti;
    const QString verso = discendente ? QStringLiteral(" DESC") : QString();
    for (const QString& c : colonneIndice_) parti << Quota(c) + verso;
    parti << QStringLiteral("rowid") + verso;
    return parti.join(QStringLiteral(", "));
}

bool Recordset::Posiziona(const QString& sql, const QVariantList& parametri) {
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

QString Recordset::Selezione() const {
    return QStringLiteral("SELECT rowid, * FROM %1").arg(Quota(nomeTabella_));
}

void Recordset::MoveFirst() {
    RichiediTabella();
    modifica_ = Modifica::Nessuna;
    eof_ = !Posiziona(
        Selezione() + QStringLiteral(" ORDER BY ") + Ordine(false) + QStringLiteral(" LIMIT 1"),
        {});
}

void Recordset::SetIndex(const QString& nome) {
    RichiediTabella();
    if (nome.compare(indice_, Qt::CaseInsensitive) == 0 && !indice_.isEmpty()) return;
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
    indice_ = nome;
    colonneIndice_ = colonne;
    MoveFirst();
}

void Recordset::Seek(const QString& op, const QVariantList& chiavi) {
    RichiediTabella();
    if (colonneIndice_.isEmpty())
        throw Errore(ErrSenzaIndice,
                     QStringLiteral("Operazione non valida senza un indice corrente."));
    static const QStringList operatori = {"=", "<=", ">=", "<", ">"};
    if (!operatori.contains(op) || chiavi.isEmpty() || chiavi.size() > colonneIndice_.size())
        throw Errore(ErrGenerico, QStringLiteral("Argomento non valido per la ricerca."));
    modifica_ = Modifica::Nessuna;
    const int k = int(chiavi.size());
    QStringList colonne, segnaposto;
    for (int i = 0; i < k; ++i) {
        colonne << Quota(colonneIndice_[i]);
        segnaposto << QStringLiteral("?%1").arg(i + 1);
    }
    QString condizione;
    if (op == QLatin1String("=")) {
        QStringList uguali;
        for (int i = 0; i < k; ++i) uguali << colonne[i] + QStringLiteral(" = ") + segnaposto[i];
        condizione = uguali.join(QStringLiteral(" AND "));
    } else if (k == 1) {
        condizione = colonne[0] + ' ' + op + ' ' + segnaposto[0];
    } else {
        condizione = '(' + colonne.join(", ") + ") " + op + " (" + segnaposto.join(", ") + ')';
    }
    const bool indietro = op.startsWith('<');
    const QString sql = Selezione() + QStringLiteral(" WHERE ") + condizione +
                        QStringLiteral(" ORDER BY ") + Ordine(indietro) +
                        QStringLiteral(" LIMIT 1");
    noMatch_ = !Posiziona(sql, chiavi);
}

void Recordset::MoveNext() {
    RichiediAperto();
    if (!tabella_) {
        if (!snapshot_ || eof_) {
            eof_ = true;
            return;
        }
        int rc = sqlite3_step(snapshot_);
        if (rc == SQLITE_ROW) {
            // A snapshot's values are read from the engine when asked for, never all of
            // them for every row.
            haRiga_ = true;
            return;
        }
        // Release the read lock as soon as the rows run out.
        sqlite3_reset(snapshot_);
        haRiga_ = false;
        eof_ = true;
        if (rc != SQLITE_DONE) db_->Solleva(rc);
        return;
    }
    modifica_ = Modifica::Nessuna;
    if (!haRiga_) {
        eof_ = true;
        return;
    }
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
    eof_ = !Posiziona(sql, chiavi);
}

void Recordset::AddNew() {
    RichiediTabella();
    modifica_ = Modifica::Aggiunta;
    buffer_.assign(colonne_.size(), QVariant());
    toccate_.assign(colonne_.size(), false);
}

void Recordset::Edit() {
    RichiediTabella();
    if (!haRiga_) throw Errore(ErrNessunRecord, QStringLiteral("Nessun record corrente."));
    modifica_ = Modifica::Variazione;
    buffer_ = riga_;
    toccate_.assign(colonne_.size(), false);
}

void Recordset::SetField(const QString& colonna, const QVariant& valore) {
    RichiediTabella();
    if (modifica_ == Modifica::Nessuna)
        throw Errore(ErrNessunModifica,
                     QStringLiteral("Update o CancelUpdate senza AddNew o Edit."));
    const int i = ColonnaObbligatoria(colonna);
    const Colonna& c = colonne_[size_t(i)];
    // The declared width is part of the table's contract, as it is for the forms.
    if (!valore.isNull() && Testuale(c) && c.dimensione > 0 &&
        valore.toString().size() > c.dimensione)
        throw Errore(ErrCampoTroppoPiccolo,
                     QStringLiteral("Il campo '%1' è troppo piccolo per accettare la quantità "
                                    "di dati che si sta tentando di aggiungere.")
                         .arg(c.nome));
    buffer_[size_t(i)] = valore;
    toccate_[size_t(i)] = true;
}

void Recordset::Update() {
    RichiediTabella();
    if (modifica_ == Modifica::Nessuna)
        throw Errore(ErrNessunModifica,
                     QStringLiteral("Update o CancelUpdate senza AddNew o Edit."));
    QStringList nomi, segnaposto;
    QVariantList valori;
    for (size_t i = 0; i < colonne_.size(); ++i) {
        if (!toccate_[i]) continue;
        nomi << Quota(colonne_[i].nome);
        valori << buffer_[i];
        segnaposto << QStringLiteral("?%1").arg(valori.size());
    }
    if (modifica_ == Modifica::Aggiunta) {
        const QString sql =
            nomi.isEmpty()
                ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(Quota(nomeTabella_))
                : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(Quota(nomeTabella_), nomi.join(", "), segnaposto.join(", "));
        db_->Esegui(sql, valori);
    } else if (!nomi.isEmpty()) {
        QStringList assegna;
        for (int i = 0; i < nomi.size(); ++i) assegna << nomi[i] + " = " + segnaposto[i];
        valori << rowid_;
        const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3")
                                .arg(Quota(nomeTabella_), assegna.join(", "))
                                .arg(valori.size());
        db_->Esegui(sql, valori);
        // Read the row back as stored, with the column types it now has.
        Posiziona(Selezione() + QStringLiteral(" WHERE rowid = ?1"), {rowid_});
    }
    modifica_ = Modifica::Nessuna;
}

void Recordset::CancelUpdate() {
    modifica_ = Modifica::Nessuna;
}

void Recordset::Delete() {
    RichiediTabella();
    if (!haRiga_) throw Errore(ErrNessunRecord, QStringLiteral("Nessun record corrente."));
    modifica_ = Modifica::Nessuna;
    db_->Esegui(QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(Quota(nomeTabella_)),
                {rowid_});
    haRiga_ = false;
}

QVariant Recordset::Field(const QString& colonna) const {
    return Field(ColonnaObbligatoria(colonna));
}

QVariant Recordset::Field(int indice) const {
    RichiediAperto();
    if (indice < 0 || size_t(indice) >= colonne_.size())
        throw Errore(ErrCampoMancante, QStringLiteral("Elemento non trovato nell'insieme."));
    if (modifica_ != Modifica::Nessuna) return buffer_[size_t(indice)];
    if (!haRiga_) throw Errore(ErrNessunRecord, QStringLiteral("Nessun record corrente."));
    if (!tabella_) return ValoreColonna(snapshot_, indice);
    return riga_[size_t(indice)];
}

QByteArrayView Recordset::FieldUtf8(int indice, bool* nullo) const {
    RichiediAperto();
    if (tabella_ || !haRiga_ || indice < 0 || size_t(indice) >= colonne_.size())
        throw Errore(ErrNessunRecord, QStringLiteral("Nessun record corrente."));
    const int tipo = sqlite3_column_type(snapshot_, indice);
    if (nullo) *nullo = tipo == SQLITE_NULL;
    if (tipo == SQLITE_TEXT)
        return QByteArrayView(reinterpret_cast<const char*>(sqlite3_column_text(snapshot_, indice)),
                              sqlite3_column_bytes(snapshot_, indice));
    if (tipo == SQLITE_NULL) return {};
    // Asking the engine for the text of a number would change the column's type for the
    // rest of the row.
    numero_ = ValoreColonna(snapshot_, indice).toString().toUtf8();
    return numero_;
}

int Recordset::FieldSize(const QString& colonna) const {
    RichiediAperto();
    return colonne_[size_t(ColonnaObbligatoria(colonna))].dimensione;
}

QStringList Recordset::FieldNames() const {
    QStringList nomi;
    for (const auto& c : colonne_) nomi << c.nome;
    return nomi;
}

}  // namespace motore
