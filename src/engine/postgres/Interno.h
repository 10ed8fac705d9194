#pragma once

// What the files of the server's engine share among themselves, never beyond it: the
// database and recordset classes, the connection string as it may be shown, the parameters
// and values as the server takes and gives them. Only Scelta.cpp reaches the engine,
// through Postgres.h.

#include "engine/Motore.h"
#include "engine/postgres/Traduzione.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>

namespace motore::postgres {

// Type numbers of the server's catalog that the values are read by.
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700, kFloat8 = 701,
              kNumeric = 1700, kText = 25, kBpchar = 1042, kVarchar = 1043;
// What the catalog adds to a text column's width in its type modifier (atttypmod).
constexpr int kTestaVarchar = 4;

// A streamed snapshot reads its rows from a cursor of this name, in batches: one result
// per batch, where libpq's single-row mode makes a result, and copies the column
// descriptions, for every row. A request asks for many batches, which the server sends
// one after the other as it would send rows, and a batch is small enough that the next
// travels through the socket's buffers while the program reads it. The first request's
// batches start small, so that the first rows come as soon as the server has them, and stay
// small, so that the batch a short search reads after the server has finished is short too;
// each later request goes as the last batch of the one before comes.
constexpr char kCursore[] = "lettura";
constexpr int kLotto = 512;
using Lotti = std::array<int, 32>;
constexpr Lotti LottiDellaRichiesta(bool prima) {
    Lotti lotti{};
    for (size_t i = 0; i < lotti.size(); ++i)
        lotti[i] = prima ? (i < 3 ? 16 << i : 128) : kLotto;  // 16, 32, 64, then 128
    return lotti;
}

struct Libera {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Risultato = std::unique_ptr<PGresult, Libera>;
using Orologio = std::chrono::steady_clock;

// What a connection string holds that is never shown, and the string as it may be shown.
struct Collegamento {
    QString mostrabile;
    QStringList segreti;   // values that a cause may repeat
    QStringList nascosti;  // text cut from a string libpq cannot read
};

// Reads a connection string as libpq does: what it may show, and its secrets.
Collegamento LeggiCollegamento(const QString& server);
// A cause as it may be shown: a password it repeats is not.
QString Maschera(QString causa, const Collegamento& c);
// libpq's message of a connection, and the server's of a result.
QString Messaggio(const PGconn* c);
QString MessaggioRisultato(const PGresult* r);

// The engine's error for a failed statement, from the server's SQLSTATE.
Errore ErroreDa(const PGresult* r, const QString& schema);
// Whether a failure is the connection's: no answer, a broken line, SQLSTATE class 08.
bool Interrotta(const PGconn* c, const PGresult* r);

// Waits until the connection can be read, or written too when `scrivere`; false when
// `fine` comes first.
bool Pronta(PGconn* c, bool scrivere, Orologio::time_point fine);
// Asks the server to cancel what the connection is doing, and waits for the server to take
// the request at most `attesaMs`; false when it did not.
bool Annulla(PGconn* c, int attesaMs);
// A plain name: a schema, table or column that needs no quotes.
bool NomeSemplice(const QString& nome);

// Parameters as the server takes them: text, except whole and real numbers, which go typed
// so that they compare as numbers.
struct Parametri {
    std::vector<QByteArray> testi;
    std::vector<const char*> valori;
    std::vector<Oid> tipi;

    explicit Parametri(const QVariantList& lista);
};

// A value of a result as the interface gives it; null stays null.
QVariant ValoreDi(const PGresult* r, int riga, int colonna);
// A column of a result as the interface describes it.
Colonna ColonnaDa(const PGresult* r, int i);

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
          collegamento_(LeggiCollegamento(server)),
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
        return postgres::Traduci(sql, [this](const QString& t) { return Schema(t); });
    }
    bool Invariato(const QByteArray& versione) override;
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
    // The next statement runs in a transaction: one begun on the server, or the workspace's,
    // which it begins.
    bool PerLaTransazione() const { return inTransazione_ || (ws_ && ws_->InTransazione()); }
    // Counts the transactions begun on this database: a row locked in one is known by it.
    quint64 Serie() const { return serie_; }
    // A statement of the transaction held back to travel with the next one, or with the
    // COMMIT: its answer comes then, and `esito` reads it (and may raise). `rs` is the
    // recordset whose row the answer loads; it is forgotten when the recordset closes.
    struct Rinviata {
        QByteArray sql;
        QVariantList parametri;
        std::function<void(const PGresult*, RecordsetPg*)> esito;
        RecordsetPg* rs = nullptr;
        bool scrive = true;  // false: only the transaction's beginning
    };
    void Rinvia(Rinviata r) { rinviate_.push_back(std::move(r)); }
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
        for (Rinviata& r : rinviate_)
            if (r.rs == rs) r.rs = nullptr;
    }

    // The connection that streams one snapshot at a time, so that a long read leaves the
    // main connection free and holds no transaction the forms see.
    PGconn* Flusso();
    PGconn* FlussoAttuale() const { return flusso_; }
    // Makes the streaming connection ready for another use once no read holds it: reads
    // the answer its last read's end left behind, and drops it if it is not idle after.
    void Riprendi();
    // Counts a request of a streamed read: the first, and each sent ahead of need.
    void ContaViaggio() { ++Viaggi(); }
    // Hands a streaming connection whose rows are still coming to a thread of its own,
    // which cancels them and reads them away, so that the next read need not wait for it:
    // it comes back for a later read, or is dropped if the server does not let go in time.
    void Rilascia(PGconn* c);
    void FineFlusso(RecordsetPg* rs) {
        if (lettore_ == rs) lettore_ = nullptr;
    }
    [[noreturn]] void Solleva(PGconn* c, const PGresult* r);
    // The version a snapshot's first statement read (see OpenSnapshot); empty if none.
    QByteArray VersioneDi(const PGresult* r) const;

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
    int Scadenza() const { return ws_ ? ws_->Scadenza() : Workspace::kScadenzaNormale; }

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
    // Sends what the transaction held back, then `sql` when it is not null, in one round
    // trip (libpq's pipeline), and reads every answer: the first failure, else the last
    // answer. A transaction that had not yet reached the server, found on a connection
    // dropped while idle, is begun again on a new one, unless `commit`.
    Risultato Condotta(const QByteArray& sql, const Parametri* p, bool commit = false);
    Risultato InCondotta(PGconn* c, const std::vector<Rinviata>& coda, const QByteArray& sql,
                         const Parametri* p);
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
    // Streaming connections being cleared by a thread of their own, at most two.
    struct Rientro;
    std::vector<std::shared_ptr<Rientro>> rientri_;
    // A cleared connection back, or null: waits at most `attesaMs`.
    PGconn* Raccogli(const std::shared_ptr<Rientro>& r, int attesaMs);
    RecordsetPg* lettore_ = nullptr;  // the snapshot that streams on flusso_
    bool inTransazione_ = false;
    // Something of the transaction has been sent to the server.
    bool iniziata_ = false;
    quint64 serie_ = 0;
    std::vector<Rinviata> rinviate_;
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
    // Ends a streamed read, on the server too when rows are still coming. `breve`: what
    // remains of the answer is short (after a failure, or the cursor's end), and is read
    // here rather than cancelled.
    void FermaFlusso(bool breve = false);
    // Sends a request for batches of these sizes, after the statements `prima`; false when
    // it could not go.
    bool ChiediLotti(std::span<const int> lotti, QByteArray prima = {});
    // After a batch of the stream came: the end when it was short, the next request when
    // it was the last asked for.
    void Segui(bool pieno);

    DatabasePg* db_;
    // A table: its name, its chosen index, and the current row's place and keys.
    QString oid_, relname_;
    Indice indice_;
    QString ctid_;
    QVariantList chiaviRiga_;
    // The transaction (DatabasePg::Serie) whose lock holds the current row; 0: none.
    quint64 bloccata_ = 0;
    bool daPosizionare_ = false;
    // A snapshot: the rows in hand; a streamed one reads them a batch at a time from a
    // cursor, the next batch asked for as soon as one comes.
    Risultato risultato_;
    int rigaCorrente_ = 0;
    bool inFlusso_ = false;
    std::deque<int> attesi_;  // the sizes of the batches asked for and not yet read
};

}  // namespace motore::postgres
