#include "engine/postgres/Postgres.h"

#include "engine/Dialetto.h"

#include <QDate>
#include <QRegularExpression>

#include <libpq-fe.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <future>
#include <map>
#include <thread>
#include <utility>

#include <poll.h>

namespace motore::postgres {

namespace {

// Type numbers of the server's catalog that the values are read by.
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700, kFloat8 = 701,
              kNumeric = 1700, kText = 25, kBpchar = 1042, kVarchar = 1043;

// A key for the lock that makes the program's writers to one schema take turns, as they do
// on a file: a save finds the rows as the previous save left them.
constexpr int kClasseBlocco = 0x4b45;

// The workspace's usual deadline for an answer.
constexpr int kScadenzaNormale = 12000;

struct Libera {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Risultato = std::unique_ptr<PGresult, Libera>;

// What a connection string holds that is never shown, and the string as it may be shown.
struct Collegamento {
    QString mostrabile;
    QStringList segreti;   // values that a cause may repeat
    QStringList nascosti;  // text cut from a string libpq cannot read
};

bool Segreta(const char* chiave) {
    return qstrcmp(chiave, "password") == 0 || qstrcmp(chiave, "sslpassword") == 0;
}

QString Quotato(QString v) {
    static const QRegularExpression speciali(QStringLiteral("[\\s'\\\\]"));
    if (!v.isEmpty() && !v.contains(speciali)) return v;
    v.replace('\\', QStringLiteral("\\\\")).replace('\'', QStringLiteral("\\'"));
    return '\'' + v + '\'';
}

Collegamento Analizza(const QString& server) {
    Collegamento c;
    char* errore = nullptr;
    // libpq's own reading, URIs and quoted values included: a password is known by its
    // keyword wherever and however it is written.
    if (PQconninfoOption* opzioni = PQconninfoParse(server.toUtf8().constData(), &errore)) {
        QStringList parti;
        bool nascosta = false;
        for (const PQconninfoOption* o = opzioni; o->keyword; ++o) {
            if (!o->val) continue;
            QString valore = QString::fromUtf8(o->val);
            if (Segreta(o->keyword)) {
                if (!valore.isEmpty()) c.segreti << valore;
                valore = QStringLiteral("***");
                nascosta = true;
            } else {
                valore = Quotato(valore);
            }
            parti << QString::fromUtf8(o->keyword) + '=' + valore;
        }
        PQconninfoFree(opzioni);
        c.mostrabile = nascosta ? parti.join(' ') : server;
        return c;
    }
    PQfreemem(errore);
    // A string libpq cannot read: from a password keyword on, and a URI's user:password@,
    // nothing is shown.
    static const QRegularExpression parola(
        QStringLiteral("\\b(?:ssl)?password\\s*=.*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression uri(
        QStringLiteral("^postgres(?:ql)?://[^:/?@]*:(.*)@"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    c.mostrabile = server;
    if (const auto m = uri.match(c.mostrabile); m.hasMatch()) {
        c.nascosti << m.captured(1);
        c.mostrabile.replace(m.capturedStart(1), m.capturedLength(1), QStringLiteral("***"));
    }
    if (const auto m = parola.match(c.mostrabile); m.hasMatch()) {
        c.nascosti << m.captured(0);
        c.mostrabile = c.mostrabile.left(m.capturedStart(0)) + QStringLiteral("password=***");
    }
    return c;
}

// A cause as it may be shown: a password it repeats is not.
QString Maschera(QString causa, const Collegamento& c) {
    for (const QString& s : c.segreti) {
        // Whole, where something that is not a letter or digit sets it apart: a short
        // password does not blot out the letters of the words around it.
        const QRegularExpression valore(QStringLiteral("(?<![\\p{L}\\p{N}])%1(?![\\p{L}\\p{N}])")
                                            .arg(QRegularExpression::escape(s)));
        causa.replace(valore, QStringLiteral("***"));
        if (s.size() >= 6) causa.replace(s, QStringLiteral("***"));
    }
    // libpq quotes the word of a string it cannot read.
    static const QRegularExpression citato(QStringLiteral("\"([^\"]+)\""));
    for (const QString& n : c.nascosti) {
        QString fuori;
        qsizetype da = 0;
        for (auto it = citato.globalMatch(causa); it.hasNext();) {
            const auto m = it.next();
            if (m.captured(1) == QLatin1String("=") || !n.contains(m.captured(1))) continue;
            fuori += causa.mid(da, m.capturedStart(1) - da) + QStringLiteral("***");
            da = m.capturedEnd(1);
        }
        causa = fuori + causa.mid(da);
    }
    return causa;
}

QString Messaggio(const PGconn* c) {
    return QString::fromUtf8(PQerrorMessage(c)).trimmed();
}

QString MessaggioRisultato(const PGresult* r) {
    const char* primario = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
    return primario ? QString::fromUtf8(primario)
                    : QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
}

// A native statement with the positional parameters the callers write (?1, or ? in turn)
// numbered as the server wants them ($1); literals and quoted names are left alone.
QString Segnaposti(const QString& sql) {
    QString out;
    int prossimo = 1;
    QChar virgoletta;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (!virgoletta.isNull()) {
            if (c == virgoletta) virgoletta = QChar();
            out += c;
        } else if (c == '\'' || c == '"') {
            virgoletta = c;
            out += c;
        } else if (c == '?') {
            qsizetype j = i + 1;
            while (j < sql.size() && sql[j].isDigit()) ++j;
            out += '$' + (j > i + 1 ? sql.mid(i + 1, j - i - 1) : QString::number(prossimo));
            ++prossimo;
            i = j - 1;
        } else {
            out += c;
        }
    }
    return out;
}

// Parameters as the server takes them: text, except whole and real numbers, which go typed
// so that they compare as numbers.
struct Parametri {
    std::vector<QByteArray> testi;
    std::vector<const char*> valori;
    std::vector<Oid> tipi;

    explicit Parametri(const QVariantList& lista) {
        testi.reserve(size_t(lista.size()));
        for (const QVariant& v : lista) {
            Oid tipo = 0;
            QByteArray t;
            if (!v.isNull()) {
                switch (v.typeId()) {
                    case QMetaType::Bool:
                        tipo = kBool;
                        t = v.toBool() ? "true" : "false";
                        break;
                    case QMetaType::Int:
                    case QMetaType::UInt:
                    case QMetaType::Long:
                    case QMetaType::LongLong:
                    case QMetaType::Short:
                    case QMetaType::UShort:
                    case QMetaType::ULong:
                    case QMetaType::ULongLong:
                        tipo = kInt8;
                        t = QByteArray::number(v.toLongLong());
                        break;
                    case QMetaType::Double:
                    case QMetaType::Float:
                        tipo = kFloat8;
                        t = QByteArray::number(v.toDouble(), 'g', 17);
                        break;
                    case QMetaType::QDate:
                        tipo = kInt8;
                        t = QByteArray::number(QDate(1899, 12, 30).daysTo(v.toDate()));
                        break;
                    default:
                        t = v.toString().toUtf8();
                        if (t.contains('\0'))
                            throw Errore(ErrSintassi, QStringLiteral("Carattere non valido (NUL) "
                                                                     "in un valore."));
                        break;
                }
            }
            tipi.push_back(tipo);
            testi.push_back(t);
        }
        for (size_t i = 0; i < testi.size(); ++i)
            valori.push_back(lista[qsizetype(i)].isNull() ? nullptr : testi[i].constData());
    }
};

QVariant ValoreDi(const PGresult* r, int riga, int colonna) {
    if (PQgetisnull(r, riga, colonna)) return QVariant();
    const char* t = PQgetvalue(r, riga, colonna);
    switch (PQftype(r, colonna)) {
        case kInt2:
        case kInt4:
        case kInt8:
            return QVariant(QByteArray(t).toLongLong());
        case kFloat4:
        case kFloat8:
        case kNumeric:
            return QVariant(QByteArray(t).toDouble());
        case kBool:
            return QVariant(t[0] == 't');
        default:
            return QVariant(QString::fromUtf8(t, PQgetlength(r, riga, colonna)));
    }
}

Colonna ColonnaDa(const PGresult* r, int i) {
    Colonna c;
    c.nome = QString::fromUtf8(PQfname(r, i));
    const int mod = PQfmod(r, i);
    switch (PQftype(r, i)) {
        case kVarchar:
        case kBpchar:
            c.tipo = QStringLiteral("VARCHAR(%1)").arg(mod - 4);
            c.dimensione = mod > 4 ? mod - 4 : 255;
            break;
        case kInt2:
            c.tipo = QStringLiteral("SMALLINT");
            c.dimensione = 2;
            break;
        case kInt4:
            c.tipo = QStringLiteral("INTEGER");
            c.dimensione = 4;
            break;
        case kInt8:
            c.tipo = QStringLiteral("BIGINT");
            c.dimensione = 8;
            break;
        case kFloat4:
        case kFloat8:
        case kNumeric:
            c.tipo = QStringLiteral("DOUBLE");
            c.dimensione = 8;
            break;
        default:
            c.tipo = QStringLiteral("TEXT");
            c.dimensione = 255;
            break;
    }
    return c;
}

// The engine's error for a failed statement, from the server's SQLSTATE.
Errore ErroreDa(const PGresult* r, const QString& schema) {
    const char* stato = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const QString codice = stato ? QString::fromLatin1(stato) : QString();
    const QString testo = r ? MessaggioRisultato(r) : QString();
    if (codice == QLatin1String("23505"))
        return Errore(ErrChiaveDuplicata,
                      QStringLiteral("Le modifiche richieste non sono state apportate perché "
                                     "avrebbero creato valori duplicati nell'indice o nella "
                                     "chiave primaria."));
    if (codice == QLatin1String("55P03") || codice == QLatin1String("40P01") ||
        codice == QLatin1String("40001"))
        return Errore(ErrBloccato, QStringLiteral("Il database '%1' è attualmente bloccato da un "
                                                  "altro utente (%2).")
                                       .arg(schema, testo));
    if (codice == QLatin1String("42P01"))
        return Errore(
            ErrTabellaMancante,
            QStringLiteral("Impossibile trovare la tabella o la query di input (%1).").arg(testo));
    if (codice == QLatin1String("22001"))
        return Errore(ErrCampoTroppoPiccolo,
                      QStringLiteral("Il campo è troppo piccolo per accettare la quantità di dati "
                                     "che si sta tentando di aggiungere (%1).")
                          .arg(testo));
    if (codice == QLatin1String("42501"))
        return Errore(ErrAccesso,
                      QStringLiteral("Manca il permesso di accesso al database '%1' (%2).")
                          .arg(schema, testo));
    if (codice == QLatin1String("25006"))
        return Errore(ErrSolaLettura,
                      QStringLiteral("Impossibile aggiornare. Il database '%1' è di sola lettura "
                                     "(%2).")
                          .arg(schema, testo));
    if (codice.startsWith(QLatin1String("53")))
        return Errore(ErrDiscoPieno,
                      QStringLiteral("Risorse del server insufficienti (%1).").arg(testo));
    if (codice.startsWith(QLatin1String("XX")))
        return Errore(ErrDanneggiato,
                      QStringLiteral("Il database '%1' è danneggiato (%2).").arg(schema, testo));
    if (codice.startsWith(QLatin1String("42")))
        return Errore(ErrSintassi, QStringLiteral("Errore nell'istruzione SQL (%1).").arg(testo));
    return Errore(ErrGenerico, QStringLiteral("Errore del server di database (%1).").arg(testo));
}

using Orologio = std::chrono::steady_clock;

// Waits until the connection can be read, or written too when `scrivere`; false when
// `fine` comes first.
bool Pronta(PGconn* c, bool scrivere, Orologio::time_point fine) {
    for (;;) {
        const auto resta =
            std::chrono::duration_cast<std::chrono::milliseconds>(fine - Orologio::now()).count();
        if (resta <= 0) return false;
        // A closed socket is libpq's to report.
        if (PQsocket(c) < 0) return true;
        pollfd p{PQsocket(c), short(POLLIN | (scrivere ? POLLOUT : 0)), 0};
        const int n = ::poll(&p, 1, int(std::min<long long>(resta, 60000)));
        if (n > 0 || (n < 0 && errno != EINTR)) return true;
    }
}

// Asks the server to cancel what the connection is doing, and waits for the server to take
// the request at most `attesaMs`; false when it did not. The request goes on in its own
// thread past that wait: a frozen server takes a cancel no sooner than the request itself.
bool Annulla(PGconn* c, int attesaMs) {
    PGcancel* annulla = PQgetCancel(c);
    if (!annulla) return false;
    auto fatto = std::make_shared<std::promise<void>>();
    std::future<void> esito = fatto->get_future();
    std::thread([annulla, fatto] {
        char errore[256];
        PQcancel(annulla, errore, sizeof errore);
        PQfreeCancel(annulla);
        fatto->set_value();
    }).detach();
    return esito.wait_for(std::chrono::milliseconds(attesaMs)) == std::future_status::ready;
}

bool Interrotta(const PGconn* c, const PGresult* r) {
    if (!r || PQstatus(c) == CONNECTION_BAD) return true;
    const char* stato = PQresultErrorField(r, PG_DIAG_SQLSTATE);
    return stato && (stato[0] == '0' && stato[1] == '8');
}

bool NomeSemplice(const QString& nome) {
    static const QRegularExpression semplice(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return semplice.match(nome).hasMatch();
}

QString Quota(const QString& nome) {
    QString s = nome;
    s.replace('"', QStringLiteral("\"\""));
    return '"' + s + '"';
}

// A row of COPY's text format.
void AggiungiCopia(QByteArray& out, const QVariantList& riga) {
    for (qsizetype i = 0; i < riga.size(); ++i) {
        if (i > 0) out += '\t';
        const QVariant& v = riga[i];
        if (v.isNull()) {
            out += "\\N";
            continue;
        }
        const QByteArray t = Parametri({v}).testi.front();
        for (char c : t) {
            switch (c) {
                case '\\':
                    out += "\\\\";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                default:
                    out += c;
            }
        }
    }
    out += '\n';
}

class RecordsetPg;

struct Indice {
    QStringList chiavi;            // the index's key expressions, as the server writes them
    std::vector<bool> nulliPrima;  // by key: its nulls stand before the other values
    bool unico = false;
};

class DatabasePg final : public Database {
  public:
    DatabasePg(const QString& server, const QString& schema, Workspace& ws)
        : Database(schema, ws),
          server_(server),
          schema_(schema),
          collegamento_(Analizza(server)),
          attesaMs_(ws.AttesaBlocco()) {}
    ~DatabasePg() override { Close(); }

    void Connetti(bool crea);

    std::unique_ptr<Recordset> OpenTable(const QString& tabella) override;
    std::unique_ptr<Recordset> OpenSnapshot(const QString& sql) override;
    void Esegui(const QString& sqlNativo, const QVariantList& parametri = {}) override;
    std::vector<QVariantList> Righe(const QString& sqlNativo,
                                    const QVariantList& parametri = {}) override;
    QStringList Piano(const QString& sql) override;
    QString Nativo(const QString& sql) override {
        return TraduciPerPostgres(sql, [this](const QString& t) { return Schema(t); });
    }
    void CreaTabella(const QString& nome, const std::vector<DefColonna>& colonne) override;
    void CreaIndice(const QString& tabella, const QString& nome, const QStringList& colonne,
                    TipoIndice tipo) override;
    void Carica(const QString& tabella, const QStringList& colonne,
                const std::function<bool(QVariantList&)>& riga) override;
    QStringList Tabelle() override;
    std::vector<DefColonna> Colonne(const QString& tabella) override;
    std::vector<DefIndice> Indici(const QString& tabella) override;
    void Close() override;
    bool Aperto() const override { return aperto_; }

    // One statement on the main connection, with its parameters; the server's error is
    // raised. Inside a workspace transaction the database joins it first. A `lettura` that
    // finds the connection dropped outside a transaction is sent again on a new one.
    Risultato Invia(const QString& sql, const QVariantList& parametri = {}, bool lettura = false);
    bool InTransazione() const { return inTransazione_; }
    const Indice& IndiceDi(const QString& oid, const QString& tabella, const QString& nome);
    // The table as the dialect orders it; null when there is none.
    const SchemaTabella* Schema(const QString& tabella);
    // Reads the table from the catalog, for Tabella and Schema alike.
    const SchemaTabella* Descrivi(const QString& nome, QString* oid, QString* relname,
                                  std::vector<Colonna>* colonne);
    // The table's oid, name and columns; throws when the schema has no such table.
    void Tabella(const QString& nome, QString& oid, QString& relname,
                 std::vector<Colonna>& colonne);
    void Registra(RecordsetPg* rs) { recordset_.push_back(rs); }
    void Rimuovi(RecordsetPg* rs) {
        recordset_.erase(std::remove(recordset_.begin(), recordset_.end(), rs), recordset_.end());
    }

    // The connection that streams one snapshot at a time, so that a long read leaves the
    // main connection free and holds no transaction the forms see.
    PGconn* Flusso();
    PGconn* FlussoAttuale() const { return flusso_; }
    void FineFlusso(RecordsetPg* rs) {
        if (lettore_ == rs) lettore_ = nullptr;
    }
    [[noreturn]] void Solleva(PGconn* c, const PGresult* r);

    // Sends what libpq holds and waits for the whole answer, within the workspace's
    // deadline; false when it expired.
    bool Attendi(PGconn* c);
    // The next result of what was sent; on an expired deadline the request is cancelled,
    // the connection dropped, and error 3146 raised.
    Risultato Prossimo(PGconn* c);
    // Drops a connection; what a transaction held on it is gone with it.
    void Lascia(PGconn* c);
    // Reads and drops the rest of an answer; a server that does not give it within the
    // deadline loses the connection, without a word.
    void Svuota(PGconn* c);
    int Scadenza() const { return ws_ ? ws_->Scadenza() : kScadenzaNormale; }

  private:
    void CommitLocale() override;
    void RollbackLocale() override;
    void ImpostaAttesa(int millisecondi) override;
    PGconn* Nuova();
    PGconn* Principale();
    void PrimaDiEseguire();
    // Sends what libpq holds, within the deadline; false when it expired.
    bool Spingi(PGconn* c, Orologio::time_point fine);
    // Sends one statement (several, without parameters) and waits for the answer: the last
    // statement's, or the first failure. `quieto`: an expired deadline drops the connection
    // and gives no result instead of raising.
    Risultato Chiedi(PGconn* c, const QByteArray& sql, const Parametri* p, bool quieto = false);
    [[noreturn]] void Perso(PGconn* c, const QString& causa);
    // What became of the transaction whose COMMIT got no reply, asked on a new connection.
    enum class Esito { Registrata, Annullata, Ignoto };
    Esito EsitoTransazione();
    [[noreturn]] void Scaduta(PGconn* c);

    QString server_, schema_;
    Collegamento collegamento_;
    int attesaMs_;
    bool aperto_ = false;
    PGconn* conn_ = nullptr;
    PGconn* flusso_ = nullptr;
    RecordsetPg* lettore_ = nullptr;  // the snapshot that streams on flusso_
    bool inTransazione_ = false;
    // The transaction's number on the server, and the server process that runs it.
    QByteArray numero_;
    int processo_ = 0;
    std::map<QString, Indice> indici_;         // by table oid and lower-case name
    std::map<QString, SchemaTabella> schemi_;  // by lower-case table name
    std::vector<RecordsetPg*> recordset_;
};

class RecordsetPg final : public Recordset {
  public:
    RecordsetPg(DatabasePg& db, bool tabella) : Recordset(tabella), db_(&db) { db.Registra(this); }
    ~RecordsetPg() override { Close(); }

    void Staccato() {
        Chiudi();
        Recordset::Staccato();
    }

  private:
    friend class DatabasePg;
    bool Aperto() const override { return db_ != nullptr; }
    QStringList ColonneIndice(const QString& nome) override;
    bool Primo() override;
    bool Cerca(const QString& op, const QVariantList& chiavi) override;
    bool Successivo() override;
    void Inserisci(const std::vector<int>& colonne, const QVariantList& valori) override;
    void Aggiorna(const std::vector<int>& colonne, const QVariantList& valori) override;
    void Cancella() override;
    bool AvanzaSnapshot() override;
    QVariant ValoreSnapshot(int indice) const override {
        return ValoreDi(risultato_.get(), rigaCorrente_, indice);
    }
    QByteArrayView Utf8Snapshot(int indice, bool* nullo) const override;
    void Chiudi() override;
    void Risolvi() const override;

    QString Selezione() const;
    QString Ordine(bool discendente) const;
    QString PerAggiornare() const;
    bool Posiziona(const QString& sql, const QVariantList& parametri);
    void CaricaRiga(const PGresult* r, int riga);
    // Ends a streamed read, on the server too when rows are still coming.
    void FermaFlusso();

    DatabasePg* db_;
    // A table: its name, its chosen index, and the current row's place and keys.
    QString oid_, relname_;
    Indice indice_;
    QString ctid_;
    QVariantList chiaviRiga_;
    bool daPosizionare_ = false;
    // A snapshot: the rows in hand; a streamed one reads them one at a time.
    Risultato risultato_;
    int rigaCorrente_ = 0;
    bool inFlusso_ = false;
};

// ---------------------------------------------------------------------------------------
// Database

PGconn* DatabasePg::Nuova() {
    const QByteArray dsn = server_.toUtf8();
    // The schema is a plain name (see SchemaDitta); the lock wait is the workspace's.
    const QByteArray opzioni =
        QStringLiteral("-c search_path=%1 -c lock_timeout=%2").arg(schema_).arg(attesaMs_).toUtf8();
    // Before the string, which overrides them: a server gone from the network is found out
    // within the deadline, not after the system's minutes of retries, also on an idle
    // connection. A long deadline for bulk work is no reason to wait longer for a server
    // that does not answer at all; libpq waits 2 s at least.
    const int limite = std::min(Scadenza(), kScadenzaNormale);
    const QByteArray connessione = QByteArray::number(std::max(2, (limite + 999) / 1000));
    const QByteArray utente = QByteArray::number(limite);
    const char* chiavi[] = {"connect_timeout",
                            "keepalives",
                            "keepalives_idle",
                            "keepalives_interval",
                            "keepalives_count",
                            "tcp_user_timeout",
                            "dbname",
                            "options",
                            "client_encoding",
                            "fallback_application_name",
                            nullptr};
    const char* valori[] = {connessione.constData(),
                            "1",
                            "10",
                            "5",
                            "3",
                            utente.constData(),
                            dsn.constData(),
                            opzioni.constData(),
                            "UTF8",
                            "anagrafica",
                            nullptr};
    ++Viaggi();
    PGconn* c = PQconnectdbParams(chiavi, valori, 1);
    if (PQstatus(c) != CONNECTION_OK) {
        // The password may come from a service or password file, not the string.
        Collegamento segreti = collegamento_;
        if (const char* p = PQpass(c); p && *p) segreti.segreti << QString::fromUtf8(p);
        const QString causa = Maschera(Messaggio(c), segreti);
        PQfinish(c);
        throw Errore(ErrConnessione, QStringLiteral("Collegamento al server '%1' non riuscito: %2")
                                         .arg(collegamento_.mostrabile, causa));
    }
    // The server's notices (a table that was not there to drop...) are no news to the
    // operator.
    PQsetNoticeProcessor(
        c, [](void*, const char*) {}, nullptr);
    if (PQserverVersion(c) < 120000) {
        PQfinish(c);
        throw Errore(ErrFormato, QStringLiteral("Il server '%1' non è un PostgreSQL 12 o più "
                                                "recente.")
                                     .arg(collegamento_.mostrabile));
    }
    // Requests are sent without waiting in libpq: the program waits, up to its deadline.
    PQsetnonblocking(c, 1);
    return c;
}

void DatabasePg::Connetti(bool crea) {
    conn_ = Nuova();
    aperto_ = true;
    if (crea) {
        // Inside the workspace's transaction when there is one: a failed setup leaves nothing.
        try {
            Invia(QStringLiteral("CREATE SCHEMA %1").arg(schema_));
        } catch (const Errore& e) {
            if (e.Numero() != ErrSintassi) throw;
            throw Errore(ErrGenerico, QStringLiteral("Il database '%1' esiste già sul server "
                                                     "'%2' (%3).")
                                          .arg(schema_, collegamento_.mostrabile, e.Descrizione()));
        }
        return;
    }
    const Parametri p(QVariantList{schema_});
    Risultato r = Chiedi(conn_, "SELECT 1 FROM pg_namespace WHERE nspname = $1", &p);
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) Solleva(conn_, r.get());
    if (PQntuples(r.get()) == 0)
        throw Errore(ErrPercorso, QStringLiteral("Il database '%1' non esiste sul server '%2' "
                                                 "(manca lo schema %1).")
                                      .arg(schema_, collegamento_.mostrabile));
}

void DatabasePg::Close() {
    if (!aperto_) {
        Stacca();
        return;
    }
    for (RecordsetPg* rs : std::vector<RecordsetPg*>(recordset_)) rs->Staccato();
    recordset_.clear();
    RollbackLocale();
    if (flusso_) PQfinish(flusso_);
    if (conn_) PQfinish(conn_);
    flusso_ = conn_ = nullptr;
    aperto_ = false;
    schemi_.clear();
    Stacca();
}

void DatabasePg::Solleva(PGconn* c, const PGresult* r) {
    if (Interrotta(c, r)) {
        // The server or the line went away: whatever the transaction held is gone with it,
        // and the next call connects again.
        Perso(c, r   ? MessaggioRisultato(r)
                 : c ? Messaggio(c)
                     : QStringLiteral("il collegamento è stato chiuso"));
    }
    throw ErroreDa(r, schema_);
}

void DatabasePg::Perso(PGconn* c, const QString& causa) {
    const QString mostrabile = Maschera(causa, collegamento_);
    if (c) Lascia(c);
    throw Errore(ErrChiamata, QStringLiteral("Collegamento con il server '%1' interrotto: %2")
                                  .arg(collegamento_.mostrabile, mostrabile));
}

void DatabasePg::Lascia(PGconn* c) {
    if (c == conn_) {
        conn_ = nullptr;
        inTransazione_ = false;
    }
    // A snapshot that streamed on it finds it gone (lettore_ stays until it closes, so that
    // no other read takes its place on a new connection).
    if (c == flusso_) flusso_ = nullptr;
    PQfinish(c);
}

void DatabasePg::Scaduta(PGconn* c) {
    // Nothing more will be read from this connection: the cancel is not waited for.
    Annulla(c, 0);
    Perso(c, QStringLiteral("il server non ha risposto entro %1 secondi")
                 .arg(QString::number(Scadenza() / 1000.0, 'g', 3)));
}

bool DatabasePg::Spingi(PGconn* c, Orologio::time_point fine) {
    while (PQflush(c) == 1) {
        if (!Pronta(c, true, fine)) return false;
        // The server may be waiting for its own answer to be read.
        if (!PQconsumeInput(c)) return true;  // a broken line: the result says so
    }
    return true;
}

DatabasePg::Esito DatabasePg::EsitoTransazione() {
    const QString numero = QString::fromLatin1(std::exchange(numero_, {}));
    try {
        PGconn* c = Principale();
        // The server keeps the outcome of every transaction by its number. One that is still
        // open is the old connection's, whose process has not yet read all the line brought
        // (the COMMIT perhaps) or found it gone: it is given a little time, then ended, and
        // its transaction with it unless the COMMIT came first.
        const auto fine = Orologio::now() + std::chrono::milliseconds(Scadenza() / 2);
        bool terminato = false;
        for (;;) {
            const Parametri p(QVariantList{numero});
            Risultato r = Chiedi(c, "SELECT txid_status($1::bigint)", &p);
            if (PQresultStatus(r.get()) != PGRES_TUPLES_OK || PQgetisnull(r.get(), 0, 0))
                return Esito::Ignoto;
            const QByteArray stato = PQgetvalue(r.get(), 0, 0);
            if (stato == "committed") return Esito::Registrata;
            if (stato == "aborted") return Esito::Annullata;
            if (terminato) break;
            if (Orologio::now() < fine) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            const Parametri q(QVariantList{processo_, Scadenza()});
            Chiedi(c, "SELECT pg_terminate_backend($1::integer, $2::bigint)", &q);
            terminato = true;
        }
    } catch (const Errore&) {
        // No server to ask: the outcome stays unknown.
    }
    return Esito::Ignoto;
}

bool DatabasePg::Attendi(PGconn* c) {
    const auto fine = Orologio::now() + std::chrono::milliseconds(Scadenza());
    if (!Spingi(c, fine)) return false;
    while (PQisBusy(c)) {
        if (!Pronta(c, false, fine)) return false;
        if (!PQconsumeInput(c)) return true;
    }
    return true;
}

void DatabasePg::Svuota(PGconn* c) {
    for (;;) {
        if (!Attendi(c)) {
            Annulla(c, 0);
            Lascia(c);
            return;
        }
        PGresult* r = PQgetResult(c);
        if (!r) return;
        PQclear(r);
    }
}

Risultato DatabasePg::Prossimo(PGconn* c) {
    if (!Attendi(c)) Scaduta(c);
    return Risultato(PQgetResult(c));
}

Risultato DatabasePg::Chiedi(PGconn* c, const QByteArray& sql, const Parametri* p, bool quieto) {
    ++Viaggi();
    const int inviata = p ? PQsendQueryParams(c, sql.constData(), int(p->valori.size()),
                                              p->tipi.data(), p->valori.data(), nullptr, nullptr, 0)
                          : PQsendQuery(c, sql.constData());
    if (!inviata) return {};
    Risultato ultimo;
    for (;;) {
        if (!Attendi(c)) {
            if (!quieto) Scaduta(c);
            Svuota(c);
            return {};
        }
        Risultato r(PQgetResult(c));
        if (!r) break;
        const auto stato = PQresultStatus(r.get());
        if (stato == PGRES_COPY_IN || stato == PGRES_COPY_OUT || stato == PGRES_COPY_BOTH) return r;
        if (!ultimo || PQresultStatus(ultimo.get()) != PGRES_FATAL_ERROR) ultimo = std::move(r);
    }
    return ultimo;
}

PGconn* DatabasePg::Principale() {
    if (!aperto_) throw Errore(ErrGenerico, QStringLiteral("Il database è chiuso."));
    if (conn_ && PQstatus(conn_) != CONNECTION_OK) {
        PQfinish(conn_);
        conn_ = nullptr;
        inTransazione_ = false;
    }
    if (!conn_) conn_ = Nuova();
    return conn_;
}

PGconn* DatabasePg::Flusso() {
    if (flusso_ && PQstatus(flusso_) != CONNECTION_OK) {
        PQfinish(flusso_);
        flusso_ = nullptr;
    }
    if (!flusso_) flusso_ = Nuova();
    return flusso_;
}

void DatabasePg::PrimaDiEseguire() {
    PGconn* c = Principale();
    if (!ws_ || !ws_->InTransazione() || inTransazione_) return;
    // One round trip: the transaction, the turn among the program's writers, and the
    // transaction's number, by which a COMMIT whose reply is lost is looked up.
    const QByteArray sql =
        QStringLiteral("BEGIN; SELECT pg_advisory_xact_lock(%1, hashtext('%2')), txid_current()")
            .arg(kClasseBlocco)
            .arg(schema_)
            .toUtf8();
    // Joined before the answer: a wait that fails leaves a transaction to roll back.
    inTransazione_ = true;
    numero_.clear();
    auto iniziata = [&](const Risultato& r) {
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) return false;
        numero_ = PQgetvalue(r.get(), 0, 1);
        processo_ = PQbackendPID(c);
        return true;
    };
    Risultato r = Chiedi(c, sql, nullptr);
    if (iniziata(r)) return;
    // Nothing of the transaction has reached the server yet: a connection dropped while
    // idle is replaced and the transaction begun there.
    if (PQstatus(c) == CONNECTION_BAD) {
        Lascia(c);
        c = Principale();
        inTransazione_ = true;
        r = Chiedi(c, sql, nullptr);
        if (iniziata(r)) return;
    }
    Solleva(c, r.get());
}

Risultato DatabasePg::Invia(const QString& sql, const QVariantList& parametri, bool lettura) {
    const Parametri p(parametri);
    const QByteArray testo = sql.toUtf8();
    for (int tentativo = 0;; ++tentativo) {
        PrimaDiEseguire();
        Risultato r = Chiedi(conn_, testo, &p);
        const auto stato = PQresultStatus(r.get());
        if (stato == PGRES_COMMAND_OK || stato == PGRES_TUPLES_OK) return r;
        // A read outside a transaction on a connection that was dropped while idle (a
        // restart, a timeout, a router) is sent once more on a new one; a write never is.
        if (tentativo == 0 && lettura && !inTransazione_ && PQstatus(conn_) == CONNECTION_BAD) {
            Lascia(conn_);
            continue;
        }
        Solleva(conn_, r.get());
    }
}

void DatabasePg::CommitLocale() {
    if (!inTransazione_) return;
    inTransazione_ = false;
    Risultato r;
    try {
        r = Chiedi(conn_, "COMMIT", nullptr);
    } catch (const Errore& e) {
        // No answer within the deadline, and no server to ask: not guessed either way.
        throw Errore(e.Numero(), e.Descrizione() + QStringLiteral(" (non è noto se la "
                                                                  "transazione sia stata "
                                                                  "registrata)"));
    }
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
        // The line went down with the COMMIT on its way: the server may have made it or
        // not. Said as lost when it was not, a save made again would be stored twice; said
        // as made when it was not, it would be lost. The server is asked.
        if (PQstatus(conn_) == CONNECTION_BAD && !numero_.isEmpty()) {
            const QString causa = r ? MessaggioRisultato(r.get()) : Messaggio(conn_);
            Lascia(conn_);
            switch (EsitoTransazione()) {
                case Esito::Registrata:
                    return;
                case Esito::Annullata:
                    Perso(nullptr, causa + QStringLiteral(" (la transazione non è stata "
                                                          "registrata)"));
                case Esito::Ignoto:
                    Perso(nullptr, causa + QStringLiteral(" (non è noto se la transazione sia "
                                                          "stata registrata)"));
            }
        }
        Solleva(conn_, r.get());
    }
    // A transaction that failed on the server ends in a rollback, which COMMIT reports.
    if (qstrcmp(PQcmdStatus(r.get()), "ROLLBACK") == 0)
        throw Errore(ErrGenerico, QStringLiteral("La transazione sul database '%1' è stata "
                                                 "annullata dal server.")
                                      .arg(schema_));
}

void DatabasePg::RollbackLocale() {
    if (!inTransazione_) return;
    inTransazione_ = false;
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) return;
    Chiedi(conn_, "ROLLBACK", nullptr, true);
}

void DatabasePg::ImpostaAttesa(int millisecondi) {
    attesaMs_ = millisecondi;
    const QByteArray sql = QStringLiteral("SET lock_timeout = %1").arg(millisecondi).toUtf8();
    for (PGconn* c : {conn_, flusso_}) {
        if (!c || PQstatus(c) != CONNECTION_OK || (c == flusso_ && lettore_)) continue;
        Chiedi(c, sql, nullptr, true);
    }
}

void DatabasePg::Esegui(const QString& sqlNativo, const QVariantList& parametri) {
    static const QRegularExpression schema(QStringLiteral("^\\s*(CREATE|ALTER|DROP)\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (schema.match(sqlNativo).hasMatch()) schemi_.clear();
    if (!parametri.isEmpty()) {
        Invia(Segnaposti(sqlNativo), parametri);
        return;
    }
    // Without parameters a text may hold several statements.
    PrimaDiEseguire();
    Risultato r = Chiedi(conn_, sqlNativo.toUtf8(), nullptr);
    const auto stato = PQresultStatus(r.get());
    if (stato != PGRES_COMMAND_OK && stato != PGRES_TUPLES_OK) Solleva(conn_, r.get());
}

std::vector<QVariantList> DatabasePg::Righe(const QString& sqlNativo,
                                            const QVariantList& parametri) {
    Risultato r = Invia(Segnaposti(sqlNativo), parametri);
    std::vector<QVariantList> righe;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        QVariantList riga;
        for (int c = 0; c < PQnfields(r.get()); ++c) riga << ValoreDi(r.get(), i, c);
        righe.push_back(std::move(riga));
    }
    return righe;
}

QStringList DatabasePg::Piano(const QString& sql) {
    QStringList piano;
    Risultato r = Invia(QStringLiteral("EXPLAIN ") +
                            TraduciPerPostgres(sql, [this](const QString& t) { return Schema(t); }),
                        {}, true);
    for (int i = 0; i < PQntuples(r.get()); ++i)
        piano << QString::fromUtf8(PQgetvalue(r.get(), i, 0));
    return piano;
}

void DatabasePg::CreaTabella(const QString& nome, const std::vector<DefColonna>& colonne) {
    QStringList definizioni;
    // Unquoted names, folded to lower case, so that people type them in any case. Texts in
    // collation "C" compare and sort as the files do.
    for (const DefColonna& c : colonne) {
        if (!NomeSemplice(c.nome))
            throw Errore(ErrSintassi, QStringLiteral("Nome di colonna non valido: %1").arg(c.nome));
        definizioni << c.nome +
                           (c.larghezza > 0
                                ? QStringLiteral(" varchar(%1) COLLATE \"C\"").arg(c.larghezza)
                                : QStringLiteral(" integer")) +
                           (c.obbligatoria ? QStringLiteral(" NOT NULL") : QString());
    }
    if (!NomeSemplice(nome))
        throw Errore(ErrSintassi, QStringLiteral("Nome di tabella non valido: %1").arg(nome));
    schemi_.clear();
    Invia(QStringLiteral("CREATE TABLE %1 (%2)").arg(nome, definizioni.join(", ")));
}

void DatabasePg::CreaIndice(const QString& tabella, const QString& nome, const QStringList& colonne,
                            TipoIndice tipo) {
    QString oid, relname;
    std::vector<Colonna> definite;
    Tabella(tabella, oid, relname, definite);
    const SchemaTabella* schema = Schema(tabella);
    QStringList chiavi;
    for (qsizetype i = 0; i < colonne.size(); ++i) {
        const SchemaTabella::Colonna* c = schema ? schema->Trova(colonne[i]) : nullptr;
        if (!c)
            throw Errore(
                ErrCampoMancante,
                QStringLiteral("Elemento non trovato nell'insieme: '%1'.").arg(colonne[i]));
        const QString col = Quota(c->nome);
        // Seeks compare texts without their trailing blanks; the search compares them in
        // lower case as well, as the dialect writes its comparisons.
        QString chiave;
        if (tipo == TipoIndice::Ricerca && i == 0)
            chiave = QStringLiteral("(lower(rtrim(%1))) COLLATE \"C\"").arg(col);
        else if (c->testo)
            chiave = QStringLiteral("(rtrim(%1))").arg(col);
        else
            chiave = col;
        // Nulls first, as on files: the dialect's orders then walk the index.
        if (c->nullabile) chiave += QStringLiteral(" NULLS FIRST");
        chiavi << chiave;
    }
    Invia(QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
              .arg(tipo == TipoIndice::Unico ? QStringLiteral("UNIQUE ") : QString(),
                   Quota(tabella + '.' + nome), Quota(relname), chiavi.join(", ")));
    schemi_.clear();
}

void DatabasePg::Carica(const QString& tabella, const QStringList& colonne,
                        const std::function<bool(QVariantList&)>& riga) {
    QString oid, relname;
    std::vector<Colonna> definite;
    Tabella(tabella, oid, relname, definite);
    PrimaDiEseguire();
    const QByteArray sql =
        QStringLiteral("COPY %1 (%2) FROM STDIN").arg(Quota(relname), colonne.join(", ")).toUtf8();
    PGconn* c = conn_;
    Risultato r = Chiedi(c, sql, nullptr);
    if (PQresultStatus(r.get()) != PGRES_COPY_IN) Solleva(c, r.get());
    QByteArray blocco;
    QVariantList valori;
    bool ok = true;
    // libpq takes no more while its buffer is full: what it holds goes first.
    auto accoda = [&](const std::function<int()>& metti) {
        while (ok) {
            const int n = metti();
            if (n == 1) return;
            if (n < 0)
                ok = false;
            else if (!Spingi(c, Orologio::now() + std::chrono::milliseconds(Scadenza())))
                Scaduta(c);
        }
    };
    auto invia = [&] {
        accoda([&] { return PQputCopyData(c, blocco.constData(), int(blocco.size())); });
        blocco.clear();
    };
    try {
        while (riga(valori)) {
            AggiungiCopia(blocco, valori);
            if (blocco.size() > (1 << 16)) invia();
        }
    } catch (...) {
        // Unless the connection went with the error.
        if (conn_ == c) {
            PQputCopyEnd(c, "interrotto");
            Svuota(c);
        }
        throw;
    }
    invia();
    accoda([&] { return PQputCopyEnd(c, nullptr); });
    Risultato esito = Prossimo(c);
    while (Prossimo(c)) {
    }
    if (!ok || PQresultStatus(esito.get()) != PGRES_COMMAND_OK) Solleva(c, esito.get());
}

QStringList DatabasePg::Tabelle() {
    QStringList nomi;
    Risultato r = Invia(
        QStringLiteral(
            "SELECT relname FROM pg_class WHERE relnamespace = current_schema()::regnamespace AND "
            "relkind IN ('r', 'p') ORDER BY relname"),
        {}, true);
    for (int i = 0; i < PQntuples(r.get()); ++i)
        nomi << QString::fromUtf8(PQgetvalue(r.get(), i, 0));
    return nomi;
}

std::vector<DefColonna> DatabasePg::Colonne(const QString& tabella) {
    Risultato r =
        Invia(QStringLiteral("SELECT a.attname, a.atttypid, a.atttypmod, a.attnotnull FROM "
                             "pg_attribute a WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 "
                             "AND NOT a.attisdropped ORDER BY a.attnum"),
              {Quota(tabella.toLower())}, true);
    std::vector<DefColonna> colonne;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        const Oid tipo = Oid(QByteArray(PQgetvalue(r.get(), i, 1)).toUInt());
        DefColonna c{QString::fromUtf8(PQgetvalue(r.get(), i, 0)), 0,
                     PQgetvalue(r.get(), i, 3)[0] == 't'};
        if (tipo == kVarchar || tipo == kBpchar)
            c.larghezza = QByteArray(PQgetvalue(r.get(), i, 2)).toInt() - 4;
        colonne.push_back(c);
    }
    return colonne;
}

std::vector<DefIndice> DatabasePg::Indici(const QString& tabella) {
    // The expressions CreaIndice writes, read back: lower(rtrim(x)) searches, rtrim(x) seeks.
    static const QRegularExpression colonna(
        QStringLiteral("^(lower\\()?(rtrim\\()?\\(?([a-z_0-9]+)"));
    Risultato r = Invia(
        QStringLiteral("SELECT ic.relname, i.indisunique, pg_get_indexdef(i.indexrelid, k, true) "
                       "FROM pg_index i JOIN pg_class ic ON ic.oid = i.indexrelid, "
                       "generate_series(1, i.indnkeyatts) k WHERE i.indrelid = to_regclass($1) "
                       "ORDER BY ic.oid, k"),
        {Quota(tabella.toLower())}, true);
    std::vector<DefIndice> indici;
    QString ultimo;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        const QString nome = QString::fromUtf8(PQgetvalue(r.get(), i, 0));
        const QString chiave = QString::fromUtf8(PQgetvalue(r.get(), i, 2));
        const auto m = colonna.match(chiave);
        if (nome != ultimo) {
            ultimo = nome;
            DefIndice d;
            d.nome = nome.section('.', 1).isEmpty() ? nome : nome.section('.', 1);
            d.tipo = PQgetvalue(r.get(), i, 1)[0] == 't' ? TipoIndice::Unico
                     : m.captured(1).isEmpty()           ? TipoIndice::Normale
                                                         : TipoIndice::Ricerca;
            indici.push_back(d);
        }
        indici.back().colonne << m.captured(3);
    }
    return indici;
}

void DatabasePg::Tabella(const QString& nome, QString& oid, QString& relname,
                         std::vector<Colonna>& colonne) {
    if (!Descrivi(nome, &oid, &relname, &colonne))
        throw Errore(
            ErrTabellaMancante,
            QStringLiteral("Impossibile trovare la tabella o la query di input '%1'.").arg(nome));
}

const SchemaTabella* DatabasePg::Schema(const QString& tabella) {
    auto it = schemi_.find(tabella.toLower());
    return it != schemi_.end() ? &it->second : Descrivi(tabella, nullptr, nullptr, nullptr);
}

const SchemaTabella* DatabasePg::Descrivi(const QString& nome, QString* oid, QString* relname,
                                          std::vector<Colonna>* colonne) {
    // Names are matched without regard to case, as on files. The columns, then the keys of
    // the index primaria (else of the first unique one), in one request.
    Risultato r = Invia(
        QStringLiteral(
            "WITH t AS (SELECT c.oid, c.relname FROM pg_class c WHERE c.relnamespace = "
            "current_schema()::regnamespace AND c.relkind IN ('r', 'p') AND lower(c.relname) = "
            "lower($1) ORDER BY c.relname = $1 DESC, c.oid LIMIT 1), "
            "i AS (SELECT x.indexrelid, x.indnkeyatts FROM t JOIN pg_index x ON x.indrelid = "
            "t.oid JOIN pg_class ic ON ic.oid = x.indexrelid WHERE x.indisunique ORDER BY "
            "lower(ic.relname) IN (lower(t.relname || '.primaria'), 'primaria') DESC, ic.oid "
            "LIMIT 1) "
            "SELECT 0, a.attnum, t.oid::text, t.relname::text, a.attname::text, "
            "a.atttypid::int8, a.atttypmod, NOT a.attnotnull FROM t JOIN pg_attribute a ON "
            "a.attrelid = t.oid AND a.attnum > 0 AND NOT a.attisdropped "
            "UNION ALL SELECT 1, k, NULL, NULL, pg_get_indexdef(i.indexrelid, k, true), 0, 0, "
            "false FROM i, generate_series(1, i.indnkeyatts) k ORDER BY 1, 2"),
        {nome}, true);
    const int n = PQntuples(r.get());
    if (n == 0) return nullptr;
    if (oid) *oid = QString::fromLatin1(PQgetvalue(r.get(), 0, 2));
    if (relname) *relname = QString::fromUtf8(PQgetvalue(r.get(), 0, 3));
    if (colonne) colonne->clear();
    SchemaTabella t;
    // The key expressions CreaIndice writes: a column, maybe trimmed.
    static const QRegularExpression chiave(QStringLiteral("^(rtrim\\()?\\(?([a-z_0-9]+)"));
    for (int i = 0; i < n; ++i) {
        const QString testo = QString::fromUtf8(PQgetvalue(r.get(), i, 4));
        if (PQgetvalue(r.get(), i, 0)[0] == '1') {
            const auto m = chiave.match(testo);
            t.chiave << (m.hasMatch() ? m.captured(2) : testo);
            continue;
        }
        Colonna c;
        c.nome = testo;
        const Oid tipo = Oid(QByteArray(PQgetvalue(r.get(), i, 5)).toUInt());
        const int mod = QByteArray(PQgetvalue(r.get(), i, 6)).toInt();
        if (tipo == kVarchar || tipo == kBpchar) {
            c.dimensione = mod > 4 ? mod - 4 : 255;
            c.tipo = QStringLiteral("VARCHAR(%1)").arg(c.dimensione);
        } else if (tipo == kInt2 || tipo == kInt4 || tipo == kInt8) {
            c.tipo = QStringLiteral("INTEGER");
            c.dimensione = tipo == kInt8 ? 8 : tipo == kInt4 ? 4 : 2;
        } else {
            c.tipo = QStringLiteral("TEXT");
            c.dimensione = 255;
        }
        t.colonne.push_back({c.nome, tipo == kVarchar || tipo == kBpchar || tipo == kText,
                             PQgetvalue(r.get(), i, 7)[0] == 't'});
        if (colonne) colonne->push_back(c);
    }
    // Kept for the queries that follow: a table the program opens is read at once.
    return &(schemi_[nome.toLower()] = std::move(t));
}

const Indice& DatabasePg::IndiceDi(const QString& oid, const QString& tabella,
                                   const QString& nome) {
    const QString chiave = oid + '/' + nome.toLower();
    auto it = indici_.find(chiave);
    if (it != indici_.end()) return it->second;
    Risultato r =
        Invia(QStringLiteral(
                  "SELECT ic.oid, i.indisunique, pg_get_indexdef(i.indexrelid, k, true), "
                  "(i.indoption[k - 1] & 2) <> 0 FROM pg_index i "
                  "JOIN pg_class ic ON ic.oid = i.indexrelid, generate_series(1, i.indnkeyatts) k "
                  "WHERE i.indrelid = $1::oid AND lower(ic.relname) IN (lower($2), lower($3)) "
                  "ORDER BY lower(ic.relname) = lower($2) DESC, ic.oid, k"),
              {oid, tabella + '.' + nome, nome}, true);
    if (PQntuples(r.get()) == 0)
        throw Errore(ErrIndiceMancante,
                     QStringLiteral("'%1' non è un indice di questa tabella.").arg(nome));
    Indice indice;
    indice.unico = PQgetvalue(r.get(), 0, 1)[0] == 't';
    const char* primo = PQgetvalue(r.get(), 0, 0);
    for (int i = 0; i < PQntuples(r.get()) && qstrcmp(PQgetvalue(r.get(), i, 0), primo) == 0; ++i) {
        indice.chiavi << QString::fromUtf8(PQgetvalue(r.get(), i, 2));
        indice.nulliPrima.push_back(PQgetvalue(r.get(), i, 3)[0] == 't');
    }
    return indici_.emplace(chiave, indice).first->second;
}

std::unique_ptr<Recordset> DatabasePg::OpenTable(const QString& tabella) {
    auto rs = std::make_unique<RecordsetPg>(*this, true);
    Tabella(tabella, rs->oid_, rs->relname_, rs->colonne_);
    rs->MoveFirst();
    return rs;
}

std::unique_ptr<Recordset> DatabasePg::OpenSnapshot(const QString& sql) {
    const QString nativo = TraduciPerPostgres(sql, [this](const QString& t) { return Schema(t); });
    auto rs = std::make_unique<RecordsetPg>(*this, false);
    // Inside a transaction the snapshot must see what the transaction wrote; a second
    // reader while one streams is rare. Both read whole on the main connection.
    if ((ws_ && ws_->InTransazione()) || inTransazione_ || lettore_) {
        rs->risultato_ = Invia(nativo, {}, true);
        for (int c = 0; c < PQnfields(rs->risultato_.get()); ++c)
            rs->colonne_.push_back(ColonnaDa(rs->risultato_.get(), c));
        rs->rigaCorrente_ = -1;
    } else {
        const QByteArray testo = nativo.toUtf8();
        PGconn* c = nullptr;
        Risultato primo;
        ExecStatusType stato = PGRES_FATAL_ERROR;
        for (int tentativo = 0;; ++tentativo) {
            c = Flusso();
            ++Viaggi();
            if (PQsendQueryParams(c, testo.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0)) {
                PQsetSingleRowMode(c);
                rs->inFlusso_ = true;
                lettore_ = rs.get();
                primo = Prossimo(c);
                stato = PQresultStatus(primo.get());
                if (stato == PGRES_SINGLE_TUPLE || stato == PGRES_TUPLES_OK) break;
                rs->FermaFlusso();
            }
            // As any read outside a transaction: once more on a new connection.
            if (tentativo == 0 && flusso_ == c && PQstatus(c) == CONNECTION_BAD) {
                Lascia(c);
                continue;
            }
            Solleva(flusso_ == c ? c : nullptr, primo.get());
        }
        for (int k = 0; k < PQnfields(primo.get()); ++k)
            rs->colonne_.push_back(ColonnaDa(primo.get(), k));
        rs->risultato_ = std::move(primo);
        rs->rigaCorrente_ = 0;
        rs->eof_ = stato != PGRES_SINGLE_TUPLE;
        rs->haRiga_ = !rs->eof_;
        if (rs->eof_) rs->FermaFlusso();
        return rs;
    }
    rs->eof_ = false;
    rs->MoveNext();
    return rs;
}

// ---------------------------------------------------------------------------------------
// Recordset

void RecordsetPg::Chiudi() {
    FermaFlusso();
    risultato_.reset();
    if (db_) db_->Rimuovi(this);
    db_ = nullptr;
}

void RecordsetPg::FermaFlusso() {
    if (!inFlusso_ || !db_) return;
    inFlusso_ = false;
    db_->FineFlusso(this);
    PGconn* c = db_->FlussoAttuale();
    if (!c) return;
    // Rows are still coming: the server stops sending them, and what is on the way is read
    // and dropped, so the connection is ready for the next snapshot. A server that takes no
    // cancel in time loses the connection instead.
    if (!eof_ && !Annulla(c, db_->Scadenza())) {
        db_->Lascia(c);
        return;
    }
    db_->Svuota(c);
}

void RecordsetPg::Risolvi() const {
    if (!daPosizionare_) return;
    auto* io = const_cast<RecordsetPg*>(this);
    io->daPosizionare_ = false;
    io->eof_ = !io->Posiziona(Selezione() + QStringLiteral(" ORDER BY ") + Ordine(false) +
                                  QStringLiteral(" LIMIT 1") + PerAggiornare(),
                              {});
}

QString RecordsetPg::Selezione() const {
    QString s = QStringLiteral("SELECT ctid");
    for (const QString& k : indice_.chiavi) s += QStringLiteral(", ") + k;
    return s + QStringLiteral(", * FROM ") + Quota(relname_);
}

QString RecordsetPg::Ordine(bool discendente) const {
    QStringList parti;
    const QString verso = discendente ? QStringLiteral(" DESC") : QString();
    // The index's own order, its nulls where it keeps them, so that it serves.
    for (size_t i = 0; i < size_t(indice_.chiavi.size()); ++i)
        parti << indice_.chiavi[qsizetype(i)] + verso +
                     (indice_.nulliPrima[i] != discendente ? QStringLiteral(" NULLS FIRST")
                                                           : QStringLiteral(" NULLS LAST"));
    // Equal keys of an index that allows them are told apart by their place in the table.
    if (!indice_.unico || indice_.chiavi.isEmpty()) parti << QStringLiteral("ctid") + verso;
    return parti.join(QStringLiteral(", "));
}

QString RecordsetPg::PerAggiornare() const {
    // Inside a transaction the row read is the row written: nobody changes it in between.
    return db_->InTransazione() ? QStringLiteral(" FOR UPDATE") : QString();
}

void RecordsetPg::CaricaRiga(const PGresult* r, int riga) {
    const int k = int(indice_.chiavi.size());
    ctid_ = QString::fromLatin1(PQgetvalue(r, riga, 0));
    chiaviRiga_.clear();
    // The keys go back to the server as the text it gave.
    for (int i = 0; i < k; ++i)
        chiaviRiga_ << (PQgetisnull(r, riga, 1 + i)
                            ? QVariant()
                            : QVariant(QString::fromUtf8(PQgetvalue(r, riga, 1 + i))));
    riga_.resize(colonne_.size());
    for (size_t i = 0; i < colonne_.size(); ++i) riga_[i] = ValoreDi(r, riga, 1 + k + int(i));
    haRiga_ = true;
}

bool RecordsetPg::Posiziona(const QString& sql, const QVariantList& parametri) {
    Risultato r = db_->Invia(sql, parametri, true);
    if (PQntuples(r.get()) == 0) {
        haRiga_ = false;
        return false;
    }
    CaricaRiga(r.get(), 0);
    return true;
}

bool RecordsetPg::Primo() {
    // Put off until something looks at the row: a seek usually comes first.
    daPosizionare_ = true;
    haRiga_ = false;
    return true;
}

QStringList RecordsetPg::ColonneIndice(const QString& nome) {
    indice_ = db_->IndiceDi(oid_, relname_, nome);
    return indice_.chiavi;
}

bool RecordsetPg::Cerca(const QString& op, const QVariantList& chiavi) {
    daPosizionare_ = false;
    const int k = int(chiavi.size());
    QStringList espressioni, segnaposto;
    QVariantList valori;
    for (int i = 0; i < k; ++i) {
        espressioni << indice_.chiavi[i];
        segnaposto << QStringLiteral("$%1").arg(i + 1);
        // As text, which the server reads as the key's own type; texts are compared without
        // their trailing blanks, as the index holds them.
        if (chiavi[i].isNull()) {
            valori << QVariant();
            continue;
        }
        QString t = chiavi[i].typeId() == QMetaType::QDate
                        ? QString::number(QDate(1899, 12, 30).daysTo(chiavi[i].toDate()))
                        : chiavi[i].toString();
        while (t.endsWith(' ')) t.chop(1);
        valori << t;
    }
    const QString condizione = CondizioneSeek(op, espressioni, segnaposto);
    const bool indietro = op.startsWith('<');
    return Posiziona(Selezione() + QStringLiteral(" WHERE ") + condizione +
                         QStringLiteral(" ORDER BY ") + Ordine(indietro) +
                         QStringLiteral(" LIMIT 1") + PerAggiornare(),
                     valori);
}

bool RecordsetPg::Successivo() {
    const int k = int(indice_.chiavi.size());
    QVariantList valori = chiaviRiga_;
    QStringList segnaposto;
    for (int i = 0; i < k; ++i) segnaposto << QStringLiteral("$%1").arg(i + 1);
    const QString chiavi = '(' + indice_.chiavi.join(", ") + ')';
    const QString posti = '(' + segnaposto.join(", ") + ')';
    QString condizione;
    if (k == 0) {
        condizione = QStringLiteral("ctid > $1::tid");
        valori = {ctid_};
    } else if (indice_.unico) {
        condizione = chiavi + QStringLiteral(" > ") + posti;
    } else {
        // The keys alone seek the index; the row's place settles equal keys.
        valori << ctid_;
        condizione = chiavi + QStringLiteral(" >= ") + posti + QStringLiteral(" AND (") + chiavi +
                     QStringLiteral(" > ") + posti +
                     QStringLiteral(" OR ctid > $%1::tid)").arg(k + 1);
    }
    return Posiziona(Selezione() + QStringLiteral(" WHERE ") + condizione +
                         QStringLiteral(" ORDER BY ") + Ordine(false) + QStringLiteral(" LIMIT 1") +
                         PerAggiornare(),
                     valori);
}

void RecordsetPg::Inserisci(const std::vector<int>& colonne, const QVariantList& valori) {
    QStringList nomi, segnaposto;
    for (size_t i = 0; i < colonne.size(); ++i) {
        nomi << Quota(colonne_[size_t(colonne[i])].nome);
        segnaposto << QStringLiteral("$%1").arg(i + 1);
    }
    db_->Invia(nomi.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(Quota(relname_))
                              : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                    .arg(Quota(relname_), nomi.join(", "), segnaposto.join(", ")),
               valori);
}

void RecordsetPg::Aggiorna(const std::vector<int>& colonne, const QVariantList& valori) {
    QStringList assegna;
    for (size_t i = 0; i < colonne.size(); ++i)
        assegna << Quota(colonne_[size_t(colonne[i])].nome) + QStringLiteral(" = $%1").arg(i + 1);
    QVariantList parametri = valori;
    parametri << ctid_;
    QString ritorno = QStringLiteral("ctid");
    for (const QString& k : indice_.chiavi) ritorno += QStringLiteral(", ") + k;
    // The row comes back as stored, at its new place.
    Risultato r =
        db_->Invia(QStringLiteral("UPDATE %1 SET %2 WHERE ctid = $%3::tid RETURNING %4, *")
                       .arg(Quota(relname_), assegna.join(", "))
                       .arg(parametri.size())
                       .arg(ritorno),
                   parametri);
    if (PQntuples(r.get()) == 0)
        throw Errore(ErrConflitto, QStringLiteral("Il record è stato cambiato o cancellato da un "
                                                  "altro utente dopo la lettura."));
    CaricaRiga(r.get(), 0);
}

void RecordsetPg::Cancella() {
    Risultato r = db_->Invia(
        QStringLiteral("DELETE FROM %1 WHERE ctid = $1::tid").arg(Quota(relname_)), {ctid_});
    if (QByteArray(PQcmdTuples(r.get())) == "0")
        throw Errore(ErrConflitto, QStringLiteral("Il record è stato cambiato o cancellato da un "
                                                  "altro utente dopo la lettura."));
}

bool RecordsetPg::AvanzaSnapshot() {
    if (!inFlusso_) {
        haRiga_ = risultato_ && ++rigaCorrente_ < PQntuples(risultato_.get());
        return haRiga_;
    }
    PGconn* c = db_->FlussoAttuale();
    // A stream whose connection was given up ends in an error, never as if the rows were
    // all read.
    if (!c) db_->Solleva(nullptr, nullptr);
    risultato_ = db_->Prossimo(c);
    rigaCorrente_ = 0;
    const auto stato = PQresultStatus(risultato_.get());
    if (stato == PGRES_SINGLE_TUPLE) {
        haRiga_ = true;
        return true;
    }
    haRiga_ = false;
    Risultato errore = std::move(risultato_);
    eof_ = true;
    FermaFlusso();
    // The connection may have gone while the rest was read.
    if (errore && stato != PGRES_TUPLES_OK)
        db_->Solleva(db_->FlussoAttuale() == c ? c : nullptr, errore.get());
    return false;
}

QByteArrayView RecordsetPg::Utf8Snapshot(int indice, bool* nullo) const {
    const PGresult* r = risultato_.get();
    const bool vuoto = PQgetisnull(r, rigaCorrente_, indice);
    if (nullo) *nullo = vuoto;
    if (vuoto) return {};
    return QByteArrayView(PQgetvalue(r, rigaCorrente_, indice),
                          PQgetlength(r, rigaCorrente_, indice));
}

}  // namespace

std::unique_ptr<Database> Apri(const QString& server, const QString& nome, Workspace& ws,
                               bool crea) {
    if (!NomeSemplice(nome))
        throw Errore(ErrPercorso,
                     QStringLiteral("'%1' non è un nome di database valido sul server.").arg(nome));
    auto db = std::make_unique<DatabasePg>(server, nome.toLower(), ws);
    db->Connetti(crea);
    return db;
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
