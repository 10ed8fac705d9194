// The connections to the server and what keeps them from ever holding the window. The
// design notes:
// - Two connections per database: the main one runs the statements and the transaction;
//   a snapshot streams on a second one, in batches from a cursor of a read-only
//   transaction (see kCursore), so that a long read holds nothing a writer waits for and
//   leaves the main connection free. The transaction's ROLLBACK is sent when the read
//   ends, and its answer read before the connection serves again (Riprendi).
// - The deadline: every request is sent without blocking and waited for up to the
//   workspace's deadline (12 s unless set); past it the request is cancelled (PQcancel, in
//   a thread of its own, since a frozen server takes a cancel no sooner than the request),
//   the connection dropped, and 3146 raised. A read closed before its last row is
//   cancelled and cleared in the background on its own connection (at most two at once),
//   so that the next search does not wait for it. Keepalives and tcp_user_timeout find a server
//   gone from the network within the same time.
// - The lock: a transaction begins with an advisory lock per schema (pg_advisory_xact_lock),
//   so the program's writers to one schema take turns, as on a file; the server's
//   lock_timeout, the workspace's wait, makes a lock held too long 3218.
// - The round trips: a transaction's BEGIN, lock and number wait to travel with its first
//   statement, and its last write (UpdateFinale) with its COMMIT, in libpq's pipeline, so
//   that a save of one row costs two round trips, not four.
// - The retry: a read outside a transaction that finds its connection dropped while idle is
//   sent once more on a new one; a write never is.
// - The lost COMMIT: a COMMIT whose reply is lost is looked up by the transaction's number
//   (txid_status) on a new connection, and reported as saved, not saved, or unknown.

#include "engine/postgres/Interno.h"
#include "engine/postgres/Postgres.h"

#include <QRegularExpression>

#include <cerrno>
#include <condition_variable>
#include <exception>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

#include <poll.h>

namespace motore::postgres {

namespace {

// A key for the lock that makes the program's writers to one schema take turns, as they do
// on a file: a save finds the rows as the previous save left them.
constexpr int kClasseBlocco = 0x4b45;

}  // namespace

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

// The request goes on in its own thread past the wait: a frozen server takes a cancel no
// sooner than the request itself.
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

bool NomeSemplice(const QString& nome) {
    static const QRegularExpression semplice(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return semplice.match(nome).hasMatch();
}

PGconn* DatabasePg::Nuova() {
    const QByteArray dsn = server_.toUtf8();
    // The schema is a plain name (see SchemaDitta); the lock wait is the workspace's; a
    // snapshot's cursor is planned for all of its rows, as the statement would be.
    const QByteArray opzioni =
        QStringLiteral("-c search_path=%1 -c lock_timeout=%2 -c cursor_tuple_fraction=1")
            .arg(schema_)
            .arg(attesaMs_)
            .toUtf8();
    // Before the string, which overrides them: a server gone from the network is found out
    // within the deadline, not after the system's minutes of retries, also on an idle
    // connection. A long deadline for bulk work is no reason to wait longer for a server
    // that does not answer at all; libpq waits 2 s at least.
    const int limite = std::min(Scadenza(), Workspace::kScadenzaNormale);
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
    // What is still being cleared is the threads' to drop.
    for (const auto& r : rientri_)
        if (PGconn* c = Raccogli(r, 0)) PQfinish(c);
    rientri_.clear();
    flusso_ = conn_ = nullptr;
    aperto_ = false;
    schemi_.clear();
    Stacca();
}

void DatabasePg::Lascia(PGconn* c) {
    if (c == conn_) {
        conn_ = nullptr;
        inTransazione_ = iniziata_ = false;
        rinviate_.clear();
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
    // A streamed row already read in costs no clock and no system call.
    if (PQflush(c) == 0 && !PQisBusy(c)) return true;
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
    if (c == conn_ && !rinviate_.empty()) {
        // What the transaction held back goes first: with this statement when it has
        // parameters (a pipeline takes one statement each), else on its own.
        if (p) return Condotta(sql, p);
        Risultato r = Condotta({}, nullptr);
        const auto stato = PQresultStatus(r.get());
        if (stato != PGRES_COMMAND_OK && stato != PGRES_TUPLES_OK) return r;
        c = conn_;
    }
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
    if (!aperto_) throw ErroreDatabaseChiuso();
    if (conn_ && PQstatus(conn_) != CONNECTION_OK) Lascia(conn_);
    if (!conn_) conn_ = Nuova();
    return conn_;
}

struct DatabasePg::Rientro {
    std::mutex m;
    std::condition_variable fatto;
    bool finito = false;
    bool abbandonato = false;  // nobody will take it: the thread drops it
    PGconn* c = nullptr;       // back clean, or null
};

void DatabasePg::Rilascia(PGconn* c) {
    if (c == flusso_) flusso_ = nullptr;
    // Two on their way already: the oldest is waited for, and kept for the next read.
    if (rientri_.size() >= 2) {
        PGconn* tornata = Raccogli(rientri_.front(), Scadenza());
        rientri_.erase(rientri_.begin());
        if (tornata && !flusso_)
            flusso_ = tornata;
        else if (tornata)
            PQfinish(tornata);
    }
    auto r = std::make_shared<Rientro>();
    rientri_.push_back(r);
    const int scadenza = Scadenza();
    std::thread([r, c, scadenza] {
        // A server that takes no cancel, or does not end the answer, in time loses it.
        const auto fine = Orologio::now() + std::chrono::milliseconds(scadenza);
        bool pulita = Annulla(c, scadenza);
        auto leggiTutto = [&] {
            while (pulita) {
                while (PQisBusy(c) && pulita) pulita = Pronta(c, false, fine) && PQconsumeInput(c);
                if (!pulita) break;
                PGresult* risultato = PQgetResult(c);
                if (!risultato) break;
                PQclear(risultato);
            }
        };
        leggiTutto();
        // The read's transaction ends too, whether the cancel reached it or not.
        if (pulita && PQtransactionStatus(c) != PQTRANS_IDLE) {
            pulita = PQsendQuery(c, "ROLLBACK");
            while (pulita && PQflush(c) == 1) pulita = Pronta(c, true, fine);
            leggiTutto();
        }
        pulita = pulita && PQstatus(c) == CONNECTION_OK && PQtransactionStatus(c) == PQTRANS_IDLE;
        std::lock_guard<std::mutex> l(r->m);
        if (r->abbandonato || !pulita) {
            PQfinish(c);
        } else {
            r->c = c;
        }
        r->finito = true;
        r->fatto.notify_all();
    }).detach();
}

PGconn* DatabasePg::Raccogli(const std::shared_ptr<Rientro>& r, int attesaMs) {
    std::unique_lock<std::mutex> l(r->m);
    if (!r->fatto.wait_for(l, std::chrono::milliseconds(attesaMs), [&] { return r->finito; })) {
        r->abbandonato = true;
        return nullptr;
    }
    return std::exchange(r->c, nullptr);
}

void DatabasePg::Riprendi() {
    if (!flusso_ || lettore_) return;
    // The last read's transaction ended with a ROLLBACK whose answer nobody waited for.
    if (PQtransactionStatus(flusso_) == PQTRANS_ACTIVE) Svuota(flusso_);
    if (flusso_ &&
        (PQstatus(flusso_) != CONNECTION_OK || PQtransactionStatus(flusso_) != PQTRANS_IDLE)) {
        PQfinish(flusso_);
        flusso_ = nullptr;
    }
}

PGconn* DatabasePg::Flusso() {
    Riprendi();
    // One that came back clean serves before a new one is made.
    for (auto i = rientri_.begin(); !flusso_ && i != rientri_.end();) {
        bool finito;
        {
            std::lock_guard<std::mutex> l((*i)->m);
            finito = (*i)->finito;
        }
        if (!finito) {
            ++i;
            continue;
        }
        flusso_ = Raccogli(*i, 0);
        i = rientri_.erase(i);
    }
    if (!flusso_) flusso_ = Nuova();
    return flusso_;
}

void DatabasePg::PrimaDiEseguire() {
    Principale();
    if (!ws_ || !ws_->InTransazione() || inTransazione_) return;
    // The transaction, the turn among the program's writers, and the transaction's number,
    // by which a COMMIT whose reply is lost is looked up: held back to travel with the
    // transaction's first statement.
    inTransazione_ = true;
    iniziata_ = false;
    ++serie_;
    numero_.clear();
    rinviate_.clear();
    Rinvia({"BEGIN", {}, nullptr, nullptr, false});
    Rinvia({QStringLiteral("SELECT pg_advisory_xact_lock(%1, hashtext($1)), txid_current()")
                .arg(kClasseBlocco)
                .toUtf8(),
            {schema_},
            [this](const PGresult* r, RecordsetPg*) {
                numero_ = PQgetvalue(r, 0, 1);
                processo_ = PQbackendPID(conn_);
            },
            nullptr,
            false});
}

Risultato DatabasePg::Condotta(const QByteArray& sql, const Parametri* p, bool commit) {
    const bool primo = !iniziata_;
    iniziata_ = true;
    std::vector<Rinviata> coda = std::exchange(rinviate_, {});
    Risultato r = InCondotta(conn_, coda, sql, p);
    // Nothing of the transaction had reached the server, and nothing was made: a
    // connection dropped while idle is replaced and the transaction begun there.
    if (primo && !commit && conn_ && PQstatus(conn_) == CONNECTION_BAD) {
        Lascia(conn_);
        Principale();
        inTransazione_ = iniziata_ = true;
        r = InCondotta(conn_, coda, sql, p);
    }
    return r;
}

Risultato DatabasePg::InCondotta(PGconn* c, const std::vector<Rinviata>& coda,
                                 const QByteArray& sql, const Parametri* p) {
    ++Viaggi();
    auto invia = [c](const QByteArray& testo, const Parametri& q) {
        return PQsendQueryParams(c, testo.constData(), int(q.valori.size()), q.tipi.data(),
                                 q.valori.data(), nullptr, nullptr, 0) != 0;
    };
    bool inviata = PQenterPipelineMode(c) != 0;
    for (const Rinviata& r : coda) inviata = inviata && invia(r.sql, Parametri(r.parametri));
    const bool ultimo = !sql.isNull();
    if (ultimo) inviata = inviata && invia(sql, p ? *p : Parametri({}));
    inviata = inviata && PQpipelineSync(c);
    if (!inviata) {
        // A line already broken: the connection, half in a pipeline, is given up.
        Risultato r(PQmakeEmptyPGresult(c, PGRES_FATAL_ERROR));
        if (PQstatus(c) == CONNECTION_OK) Lascia(c);
        return r;
    }
    // One answer per statement, each closed by a null, then the sync. A failure aborts the
    // statements after it, up to the sync; the first one says why.
    Risultato errore, risposta;
    std::exception_ptr eccezione;
    const size_t attese = coda.size() + (ultimo ? 1 : 0);
    for (size_t i = 0; i < attese; ++i) {
        Risultato r = Prossimo(c);
        if (!r) break;  // a broken line: libpq has no more to give
        while (Risultato(Prossimo(c))) {
        }
        const auto stato = PQresultStatus(r.get());
        if (stato == PGRES_FATAL_ERROR || stato == PGRES_PIPELINE_ABORTED ||
            stato == PGRES_NONFATAL_ERROR) {
            if (!errore && stato != PGRES_PIPELINE_ABORTED) errore = std::move(r);
            if (PQstatus(c) == CONNECTION_BAD) break;
            continue;
        }
        if (i < coda.size() && coda[i].esito && !eccezione) {
            try {
                coda[i].esito(r.get(), coda[i].rs);
            } catch (...) {
                eccezione = std::current_exception();
            }
        }
        risposta = std::move(r);
    }
    if (PQstatus(c) == CONNECTION_OK) {
        Risultato sync = Prossimo(c);
        if (PQresultStatus(sync.get()) == PGRES_PIPELINE_SYNC) PQexitPipelineMode(c);
    }
    if (errore) return errore;
    if (PQstatus(c) == CONNECTION_BAD) return Risultato(PQmakeEmptyPGresult(c, PGRES_FATAL_ERROR));
    if (eccezione) std::rethrow_exception(eccezione);
    return risposta;
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
    // A transaction that never reached the server, nor holds a write, has nothing to end.
    const bool scrive =
        std::any_of(rinviate_.begin(), rinviate_.end(), [](const Rinviata& r) { return r.scrive; });
    if (!iniziata_ && !scrive) {
        rinviate_.clear();
        return;
    }
    Risultato r;
    try {
        // What the transaction held back travels with the COMMIT.
        const Parametri nessuno(QVariantList{});
        r = Condotta("COMMIT", &nessuno, true);
    } catch (const Errore& e) {
        // No answer within the deadline, and no server to ask: not guessed either way.
        Errore ignoto(e.Numero(), e.Descrizione() + QStringLiteral(" (non è noto se la "
                                                                   "transazione sia stata "
                                                                   "registrata)"));
        ignoto.SegnaEsitoIgnoto();
        throw ignoto;
    }
    iniziata_ = false;
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
        // The line went down with the COMMIT on its way: the server may have made it or
        // not. Said as lost when it was not, a save made again would be stored twice; said
        // as made when it was not, it would be lost. The server is asked.
        if ((!conn_ || PQstatus(conn_) == CONNECTION_BAD) && !numero_.isEmpty()) {
            const QString causa = r ? MessaggioRisultato(r.get()) : Messaggio(conn_);
            if (conn_) Lascia(conn_);
            switch (EsitoTransazione()) {
                case Esito::Registrata:
                    return;
                case Esito::Annullata:
                    Perso(nullptr, causa + QStringLiteral(" (la transazione non è stata "
                                                          "registrata)"));
                case Esito::Ignoto:
                    try {
                        Perso(nullptr, causa + QStringLiteral(" (non è noto se la transazione "
                                                              "sia stata registrata)"));
                    } catch (Errore& e) {
                        e.SegnaEsitoIgnoto();
                        throw;
                    }
            }
        }
        // A statement held back failed: the COMMIT did not run, and the transaction, which
        // the server holds as failed, is rolled back.
        if (conn_ && PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE)
            Chiedi(conn_, "ROLLBACK", nullptr, true);
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
    rinviate_.clear();
    // Nothing sent, nothing to undo.
    if (!std::exchange(iniziata_, false)) return;
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) return;
    Chiedi(conn_, "ROLLBACK", nullptr, true);
}

void DatabasePg::ImpostaAttesa(int millisecondi) {
    attesaMs_ = millisecondi;
    Riprendi();
    const QByteArray sql = QStringLiteral("SET lock_timeout = %1").arg(millisecondi).toUtf8();
    for (PGconn* c : {conn_, flusso_}) {
        if (!c || PQstatus(c) != CONNECTION_OK || (c == flusso_ && lettore_)) continue;
        Chiedi(c, sql, nullptr, true);
    }
}

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
