// What only a server does: refuse a connection and say why without its password, lose one
// between two actions or with a COMMIT on its way, fail over to a standby, stream a long
// read to a reader, and answer each step in one trip.

#include "engine/ProvaMotore.h"

#include "support/ProxyGuasto.h"
#include "support/ServerProprio.h"

#include "Setup.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include <QTextStream>

#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace motore;

namespace {

// A password is never shown, however the connection string writes it: not in the engine's
// message, not in the setup tool's output, not where libpq's cause repeats it.
TEST(PasswordNascosta, InOgniFormaDellaStringa) {
    struct Caso {
        const char* server;
        const char* segreto;
        const char* mostrato;  // what of the string the message still shows
    };
    const Caso casi[] = {
        {"postgresql://anagrafica:Segreto1@/postgres?host=/nessuna/cartella", "Segreto1",
         "/nessuna/cartella"},
        {"postgresql:///postgres?host=/nessuna/cartella&password=Segreto1", "Segreto1",
         "/nessuna/cartella"},
        {"host=/nessuna/cartella user=postgres password = 'sotto chiave'", "chiave",
         "/nessuna/cartella"},
        {"host=/nessuna/cartella password='l\\'ultima volta'", "volta", "/nessuna/cartella"},
        {"host=/nessuna/cartella sslpassword=Segreto1 password=Segreto2", "Segreto",
         "/nessuna/cartella"},
        {"service=nessun_servizio password=Segreto1", "Segreto1", "nessun_servizio"},
        // Strings libpq cannot read: its cause quotes the word it stopped at.
        {"host=/nessuna/cartella password=primo secondo", "secondo", "/nessuna/cartella"},
        {"postgresql://u:Se%zzgreto@/x?host=/nessuna/cartella", "greto", "/nessuna/cartella"},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.server);
        QString testo;
        try {
            Workspace ws(c.server);
            ws.OpenDatabase("prova");
        } catch (const Errore& e) {
            EXPECT_TRUE(e.Numero() == ErrConnessione) << e.Numero();
            testo = e.Descrizione();
        }
        EXPECT_FALSE(testo.isEmpty());
        EXPECT_FALSE(testo.contains(c.segreto)) << testo.toStdString();
        EXPECT_TRUE(testo.contains(c.mostrato)) << testo.toStdString();
        QString out, err;
        QTextStream so(&out), se(&err);
        EXPECT_EQ(setup::Esegui({"--server", c.server, "01"}, so, se), 1);
        EXPECT_TRUE(err.contains("nulla è stato cambiato")) << err.toStdString();
        EXPECT_FALSE((out + err).contains(c.segreto)) << err.toStdString();
    }
}

// A save of a client, as the forms make it; its error, 0 when done.
int Salva(Workspace& ws, Recordset& rs, int codice, QString* testo = nullptr,
          const std::function<void()>& primaDelCommit = {}, bool* ignoto = nullptr) {
    ws.BeginTrans();
    // As a save does: the code looked up, then the row, which travels with the COMMIT.
    rs.Seek("=", {codice});
    rs.AddNew();
    rs.SetField("CliCodice", codice);
    rs.SetField("CliRagsoc", "PROVA");
    rs.UpdateFinale();
    if (primaDelCommit) primaDelCommit();
    int errore = 0;
    try {
        ws.CommitTrans();
    } catch (const Errore& e) {
        errore = e.Numero();
        if (testo) *testo = e.Descrizione();
        if (ignoto) *ignoto = e.EsitoIgnoto();
    }
    ws.Rollback();
    return errore;
}

// What only a server does: refuse a connection, lose one, stream to a reader.
class MotoreServerTest : public MotoreTest {
  protected:
    // The error of an opening; a server that does not answer is given `scadenzaMs`.
    int Errore(const QString& server, const QString& nome, QString* descrizione,
               int scadenzaMs = 12000) {
        try {
            Workspace w(server);
            w.ImpostaScadenza(scadenzaMs);
            w.OpenDatabase(nome);
        } catch (const motore::Errore& e) {
            *descrizione = e.Descrizione();
            return e.Numero();
        }
        return 0;
    }
};
SOLO_SUL_SERVER(MotoreServerTest);

// A server that is no PostgreSQL, on the loopback: one that answers as a web server does,
// one that refuses TLS as a server without it does, or one that takes the connection and
// never answers (for 20 s, so that a program that waits for ever still ends).
struct ServerEstraneo {
    enum Modo { Web, SenzaTls, Muto };
    int presa = ::socket(AF_INET, SOCK_STREAM, 0);
    int porta = 0;
    std::thread filo;
    explicit ServerEstraneo(Modo modo) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(presa, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        ::getsockname(presa, reinterpret_cast<sockaddr*>(&a), &n);
        porta = ntohs(a.sin_port);
        ::listen(presa, 1);
        filo = std::thread([this, modo] {
            const int c = ::accept(presa, nullptr, nullptr);
            if (c < 0) return;
            char buffer[256];
            if (modo == Muto) {
                pollfd p{c, POLLRDHUP, 0};
                ::poll(&p, 1, 20000);
            } else {
                (void)!::read(c, buffer, modo == SenzaTls ? 8 : sizeof buffer);
                const QByteArray risposta =
                    modo == SenzaTls ? "N" : "HTTP/1.0 400 Bad Request\r\n\r\n";
                (void)!::write(c, risposta.constData(), size_t(risposta.size()));
                (void)!::read(c, buffer, sizeof buffer);
            }
            ::close(c);
        });
    }
    QString Indirizzo() const { return QString("host=127.0.0.1 port=%1 user=postgres").arg(porta); }
    ~ServerEstraneo() {
        ::shutdown(presa, SHUT_RDWR);
        ::close(presa);
        filo.join();
    }
};

// Every wrong connection gives the opening's error with its cause, within the deadline,
// with the password masked, and creates nothing.
TEST_P(MotoreServerTest, UnCollegamentoErratoDiceLaCausaENonCreaNulla) {
    const QString server = amb.Server();
    auto db = Apri();
    // Roles belong to the whole server: tests side by side take turns to make it.
    db->Esegui(
        "DO $$ BEGIN PERFORM pg_advisory_xact_lock(hashtext('anagrafica_password')); "
        "IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'anagrafica_password') "
        "THEN CREATE ROLE anagrafica_password LOGIN PASSWORD 'giusta'; END IF; END $$");
    // A wrong password, where the cluster asks one (scripts/pg_prova.sh makes it so).
    const bool password = db->Valore(
                                "SELECT count(*) FROM pg_hba_file_rules WHERE "
                                "'anagrafica_password' = ANY(user_name)")
                              .toInt() > 0;
    if (!password && qEnvironmentVariable("CI") == QLatin1String("true"))
        ADD_FAILURE() << "the test cluster asks no password of any role";
    ServerEstraneo web(ServerEstraneo::Web), senzaTls(ServerEstraneo::SenzaTls),
        muto(ServerEstraneo::Muto);
    int chiusa;  // a port where nothing listens
    {
        ServerEstraneo provvisorio(ServerEstraneo::SenzaTls);
        chiusa = provvisorio.porta;
    }
    const QString segreto = " password=segreta";
    struct Caso {
        QString server, nome;
        int errore;
        QString causa;
    };
    // A socket folder that is not there: PasswordNascosta.
    std::vector<Caso> casi = {
        {QString("host=127.0.0.1 port=%1").arg(chiusa) + segreto, "prova", ErrConnessione,
         "127.0.0.1"},
        {server + " dbname=nessun_database", "prova", ErrConnessione, "nessun_database"},
        {server + " user=nessun_utente" + segreto, "prova", ErrConnessione, "nessun_utente"},
        {server, "nessuno_schema", ErrPercorso, "nessuno_schema"},
        // The Unix socket never carries TLS: a server that refuses it stands on the loopback.
        {senzaTls.Indirizzo() + " sslmode=require" + segreto, "prova", ErrConnessione, "SSL"},
        {web.Indirizzo() + " sslmode=disable" + segreto, "prova", ErrConnessione, "server"},
        {muto.Indirizzo() + segreto, "prova", ErrConnessione, "timeout"},
    };
    if (password)
        casi.push_back({server + " user=anagrafica_password password=sbagliata", "prova",
                        ErrConnessione, "password"});
    // Over TLS, a certificate made out to another name than the one asked for.
    if (db->Valore("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()").toBool())
        casi.push_back(
            {server + " host=altronome" + segreto, "prova", ErrConnessione, "altronome"});
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.server.toStdString());
        QString testo;
        QElapsedTimer tempo;
        tempo.start();
        EXPECT_EQ(Errore(c.server, c.nome, &testo, 1500), c.errore) << testo.toStdString();
        EXPECT_LT(tempo.elapsed(), 10000) << "within the deadline";
        EXPECT_TRUE(testo.contains(c.causa)) << testo.toStdString();
        EXPECT_FALSE(testo.contains("segreta") || testo.contains("sbagliata"))
            << testo.toStdString();
    }
    if (password) {
        QString testo;
        EXPECT_EQ(Errore(server + " user=anagrafica_password password=giusta", "prova", &testo), 0)
            << testo.toStdString();
    }
    EXPECT_EQ(db->Valore("SELECT count(*) FROM pg_namespace WHERE nspname LIKE 'nessun%'").toInt(),
              0)
        << "nothing is made on a failed opening";
    EXPECT_EQ(db->Tabelle(), QStringList({"clienti", "localita"}));
}

// A connection dropped between two actions (a restart, a timeout, a router) costs
// nothing: reads outside a transaction, and a transaction that has sent nothing yet, go
// again on a new connection. Once a transaction has written, nothing is sent again: the
// error says so and the save leaves nothing.
TEST_P(MotoreServerTest, UnCollegamentoCadutoFraDueAzioniNonCostaNulla) {
    auto db = Apri();
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    rs->Seek("=", {3});
    db->OpenSnapshot("SELECT * FROM Clienti")->Close();
    amb.TroncaCollegamenti();
    rs->Seek("=", {7});
    EXPECT_EQ(rs->Field("CliRagsoc").toString(), "L'ALBA");
    EXPECT_FALSE(db->OpenSnapshot("SELECT * FROM Clienti")->Eof());

    amb.TroncaCollegamenti();
    EXPECT_EQ(Salva(ws, *rs, 49), 0);

    ws.BeginTrans();
    rs->Seek("=", {3});
    amb.TroncaCollegamenti();
    EXPECT_EQ(NumeroErrore([&] { rs->Seek("=", {7}); }), ErrChiamata)
        << "a read inside a transaction lost what the transaction held";
    ws.Rollback();

    EXPECT_EQ(Salva(ws, *rs, 50, nullptr, [&] { amb.TroncaCollegamenti(); }), ErrChiamata);
    rs->Seek("=", {50});
    EXPECT_TRUE(rs->NoMatch());
    rs->Seek("=", {49});
    EXPECT_FALSE(rs->NoMatch());
}

// On servers of the test's own: a line cut at a chosen moment, a standby.
class ServerProprioTest : public ::testing::TestWithParam<Motore> {};
SOLO_SUL_SERVER(ServerProprioTest);

// A save whose COMMIT reaches the server but whose reply is lost (the line cut right after
// it) is confirmed as saved; one whose COMMIT never got there is said to be lost, and made
// again it is stored once.
TEST_P(ServerProprioTest, SiChiedeAlServerSeIlSalvataggioCE) {
    ServerProprio proprio;
    ProxyGuasto proxy(proprio.Server());
    AmbienteProva amb(Motore::Server, false, proxy.Server());
    Workspace ws(amb.Server());
    auto db = amb.ApriDitta(ws);
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    proxy.Taglia(ProxyGuasto::Taglio::DopoIlCommit);
    EXPECT_EQ(Salva(ws, *rs, 1), 0) << "the save landed: it is confirmed";
    proxy.Taglia(ProxyGuasto::Taglio::PrimaDelCommit);
    bool ignoto = true;
    EXPECT_EQ(Salva(ws, *rs, 2, nullptr, {}, &ignoto), ErrChiamata) << "said to be lost";
    EXPECT_FALSE(ignoto);
    EXPECT_EQ(amb.Leggi("SELECT CliCodice FROM Clienti ORDER BY 1"), "1");
    EXPECT_EQ(Salva(ws, *rs, 2), 0) << "and can be made again";
    EXPECT_EQ(amb.Leggi("SELECT CliCodice FROM Clienti ORDER BY 1"), "1\n2");

    // No answer at all, the server frozen: the outcome is not guessed either way.
    ws.ImpostaScadenza(1500);
    QString testo;
    EXPECT_EQ(Salva(
                  ws, *rs, 3, &testo, [&] { proprio.Congela(); }, &ignoto),
              ErrChiamata);
    proprio.Riprendi();
    EXPECT_TRUE(testo.contains("non è noto")) << testo.toStdString();
    EXPECT_TRUE(ignoto) << "callers can tell, and keep what a stored import needs";
}

// A standby takes over from a primary that is gone: the program, open on both, goes on
// with its next action, and nothing committed before is missing.
TEST_P(ServerProprioTest, UnoStandbyPrendeIlPosto) {
    ServerProprio primario;
    ServerProprio riserva(&primario);
    static const QRegularExpression host("host=(\\S+) port=(\\d+)");
    const auto p = host.match(primario.Server()), r = host.match(riserva.Server());
    ASSERT_TRUE(p.hasMatch() && r.hasMatch());
    AmbienteProva amb(Motore::Server, false,
                      QString("host=%1,%2 port=%3,%4 user=postgres dbname=postgres "
                              "target_session_attrs=read-write")
                          .arg(p.captured(1), r.captured(1), p.captured(2), r.captured(2)));
    Workspace ws(amb.Server());
    auto db = amb.ApriDitta(ws);
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    ASSERT_EQ(Salva(ws, *rs, 1), 0);
    primario.Spegni();
    riserva.Promuovi();
    int messaggi = 0;
    for (int volta = 0; volta < 3 && NumeroErrore([&] { rs->Seek("=", {1}); }) != 0; ++volta)
        ++messaggi;
    EXPECT_EQ(messaggi, 0) << "a read goes again, on the standby, without a word";
    EXPECT_FALSE(rs->NoMatch()) << "nothing committed before is missing";
    EXPECT_EQ(Salva(ws, *rs, 2), 0);
    EXPECT_EQ(amb.Leggi("SELECT CliCodice FROM Clienti ORDER BY 1"), "1\n2");
}

// A long read streams: the first rows come at once, nothing it holds keeps a writer
// waiting, and closing it early ends the query, and its transaction, on the server.
TEST_P(MotoreServerTest, LaLetturaInFlussoNonTieneNullaEFinisceSulServer) {
    auto db = Apri();
    // Far more than the first request asks for: the server is still sending, or holds
    // the rest in its cursor.
    AggiungiClienti(*db, 1000, 201000);
    auto Attive = [&] {
        return db
            ->Valore(
                "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() "
                "AND state <> 'idle' AND query LIKE '%ORDER BY CliCodice DESC%' AND pid <> "
                "pg_backend_pid()")
            .toInt();
    };
    auto snap = db->OpenSnapshot("SELECT * FROM Clienti ORDER BY CliCodice DESC");
    for (int i = 0; i < 5; ++i) snap->MoveNext();
    EXPECT_EQ(snap->Field("CliCodice").toInt(), 200994);
    EXPECT_EQ(Attive(), 1) << "the rest is still on the server";

    Workspace altro(amb.Server());
    altro.ImpostaAttesaBlocco(200);
    auto db2 = altro.OpenDatabase(percorso);
    altro.BeginTrans();
    EXPECT_NO_THROW(
        db2->Esegui("UPDATE Clienti SET CliRagsoc = 'SCRITTO' WHERE CliCodice = 200990"));
    EXPECT_NO_THROW(altro.CommitTrans());

    snap->Close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Attive() == 0; }, 3000));
    snap = db->OpenSnapshot("SELECT CliCodice, CliRagsoc FROM Clienti ORDER BY CliCodice DESC");
    snap->MoveNext();
    EXPECT_EQ(snap->Field("CliRagsoc").toString(), "CLIENTE NUMERO 200998")
        << "the same connection serves the next read";
    // Read to its end, across many batches and requests: every row, once, in order.
    int righe = 1, fuoriOrdine = 0;
    for (int prima = 200999; !snap->Eof(); snap->MoveNext(), ++righe) {
        const int codice = snap->Field("CliCodice").toInt();
        fuoriOrdine += codice >= prima;
        prima = codice;
    }
    EXPECT_EQ(righe, db->Valore("SELECT count(*) FROM Clienti").toInt());
    EXPECT_EQ(fuoriOrdine, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Attive() == 0; }, 3000))
        << "a read to its end holds nothing";

    // A read whose connection is lost on the way ends in an error, never short.
    snap = db->OpenSnapshot("SELECT CliCodice FROM Clienti ORDER BY CliCodice DESC");
    db->Valore(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
        "current_database() AND query LIKE '%ORDER BY CliCodice DESC%' AND pid <> "
        "pg_backend_pid()");
    int letti = 0;
    EXPECT_NE(NumeroErrore([&] {
                  for (; !snap->Eof() && letti < righe; ++letti) snap->MoveNext();
              }),
              0);
    EXPECT_LT(letti, righe);
}

// Round trips are what a network farther away makes the operator wait for.
TEST_P(MotoreServerTest, OgniPassoUnViaggio) {
    auto db = Apri();
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    db->OpenSnapshot("SELECT 1")->Close();  // the reading connection, made once
    auto cambia = [&](bool finale) {
        ws.BeginTrans();
        rs->Seek("=", {3});
        rs->Edit();
        rs->SetField("CliRagsoc", finale ? "ROSSI SRL" : "ROSSI SPA");
        finale ? rs->UpdateFinale() : rs->Update();
        ws.CommitTrans();
    };
    const struct {
        const char* passo;
        std::function<void()> fai;
        qint64 viaggi;
    } casi[] = {
        {"a seek on a known index", [&] { rs->Seek("=", {3}); }, 1},
        {"a short snapshot",
         [&] {
             auto snap = db->OpenSnapshot("SELECT CliCodice FROM Clienti WHERE CliCodice < 10");
             while (!snap->Eof()) snap->MoveNext();
         },
         1},
        {"begin with the seek, the last write with the commit", [&] { cambia(true); }, 2},
        {"a write not held back", [&] { cambia(false); }, 3},
        {"a new row after its code is looked up",
         [&] {
             ws.BeginTrans();
             rs->Seek("=", {60});
             rs->AddNew();
             rs->SetField("CliCodice", 60);
             rs->UpdateFinale();
             ws.CommitTrans();
         },
         2},
        {"a rollback of what reached the server; the row read was locked",
         [&] {
             ws.BeginTrans();
             rs->Seek("=", {3});
             // Not through a write, which first waits for the turn among the writers.
             Workspace altro(amb.Server());
             EXPECT_EQ(NumeroErrore([&] {
                           altro.OpenDatabase(percorso)->Valore(
                               "SELECT CliCodice FROM Clienti WHERE CliCodice = 3 "
                               "FOR UPDATE NOWAIT");
                       }),
                       ErrBloccato);
             ws.Rollback();
         },
         2},
        {"a transaction that sent nothing",
         [&] {
             ws.BeginTrans();
             ws.CommitTrans();
         },
         0},
    };
    for (const auto& c : casi) {
        const qint64 prima = ws.Viaggi();
        c.fai();
        EXPECT_EQ(ws.Viaggi() - prima, c.viaggi) << c.passo;
    }
    rs->Seek("=", {3});
    EXPECT_EQ(rs->Field("CliRagsoc").toString(), "ROSSI SPA");
    rs->Seek("=", {60});
    EXPECT_FALSE(rs->NoMatch()) << "the row held back was stored";
}

}  // namespace
