#include "app/Toolkit.h"
#include "avvio/Avvio.h"
#include "ui/Global.h"

#include "support/AmbienteProva.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>

#include <unistd.h>

namespace {

class AvvioTest : public ::testing::Test {
  protected:
    bool Inizializza(const QString& riga) {
        return InizializzaAmbiente(g, riga, amb.Programma(), amb.Sistema());
    }
    bool Avvia(const QString& riga = "E") { return Inizializza(riga) && CaricaAmbiente(g); }
    const Messaggio& Ultimo() { return g.Messaggi.Mostrati().back(); }

    AmbienteProva amb;
    Global g;
};

TEST_F(AvvioTest, LaRigaDiComandoSceglieInstallazioneEClienteIniziale) {
    amb.IniNormale();
    amb.ScriviIni("[BASE]\nDITTA=02\n", "KestorIm.ini");
    struct Caso {
        QStringList argomenti;
        QString file;
        int cliente;
    } casi[] = {{{}, "KestorEx.ini", 0},
                {{"E", "1234"}, "KestorEx.ini", 1234},
                {{"E", "00017"}, "KestorEx.ini", 17},
                {{"E", "x"}, "KestorEx.ini", 0},
                {{"e"}, "KestorIm.ini", 0},
                {{"I"}, "KestorIm.ini", 0},
                {{" "}, "KestorEx.ini", 0},
                {{"E", "99999999999"}, "KestorEx.ini", 0},
                {{"", "17"}, "KestorEx.ini", 17},
                {{"E", ""}, "KestorEx.ini", 0}};
    for (const auto& c : casi) {
        Global gg;
        const QString riga = toolkit::RigaDiComando(c.argomenti);
        SCOPED_TRACE(riga.toStdString());
        ASSERT_TRUE(InizializzaAmbiente(gg, riga, amb.Programma(), amb.Sistema()));
        EXPECT_EQ(gg.EnvironmentSettings.EnvironmentFile, amb.Programma() + c.file);
        EXPECT_EQ(gg.ClientRecord.CliCodice, c.cliente);
    }
}

TEST_F(AvvioTest, IlFileDiAmbienteSiCercaAncheNellaCartellaDiSistema) {
    EXPECT_FALSE(Inizializza("E"));
    ASSERT_EQ(g.Messaggi.Mostrati().size(), 1u);
    EXPECT_EQ(Ultimo().testo, "Il file di definizione Ambiente non esiste!");
    EXPECT_EQ(Ultimo().titolo, "") << "the application's default title";
    EXPECT_EQ(Ultimo().pulsanti, Pulsanti::OK);

    QFile f(amb.Sistema() + "KestorEx.ini");
    f.open(QIODevice::WriteOnly);
    f.write("[BASE]\nDITTA=01\n");
    f.close();
    Global g2;
    ASSERT_TRUE(InizializzaAmbiente(g2, "E", amb.Programma(), amb.Sistema()));
    EXPECT_EQ(g2.EnvironmentSettings.EnvironmentFile, amb.Sistema() + "KestorEx.ini");
}

// A dirty environment file (garbage, huge lines, CR LF, no final line end) is read all the
// same, and the start-up goes on while another program is writing.
TEST_F(AvvioTest, ImpostazioniEPercorsi) {
    const QByteArray sporco =
        "\x01\xff\xfe garbage\n" + QByteArray(10000, 'x') + "\r\n" + QByteArray("\0\0\x80\n", 4);
    amb.ScriviIni(sporco + ("[path]\r\ndirini=" + amb.Radice().chopped(1) +
                            "\t; no final slash\r\ntemp = /var/tmp/kes\r\n[Base]\r\nDitta=01")
                               .toUtf8(),
                  "KestorIm.ini");
    motore::Workspace altro;
    auto db = amb.ApriDitta(altro);
    altro.BeginTrans();
    db->Esegui("INSERT INTO Clienti (CliCodice) VALUES (5)");
    ASSERT_TRUE(Avvia("I")) << (g.Messaggi.Mostrati().empty() ? std::string()
                                                              : Ultimo().testo.toStdString());
    altro.Rollback();
    const auto& env = g.EnvironmentSettings;
    EXPECT_EQ(env.RootDirectory, amb.Radice());
    EXPECT_EQ(env.TempDirectory, "/var/tmp/kes") << "TEMP is used exactly as written";
    EXPECT_EQ(env.CompanyDatabasePath, amb.Radice() + "01/Completo.mdb");
    EXPECT_EQ(env.CodeTablesDatabasePath, amb.Radice() + "tabkes.mdb");
    EXPECT_TRUE(env.CompanyDatabaseOpen);
    EXPECT_TRUE(g.ClientsTableOpen);
    EXPECT_EQ(DidascaliaIniziale(g), "(01)   GESTIONE ANAGRAFICHE - KESTOR (IMPORT)");
    EXPECT_TRUE(g.Messaggi.Mostrati().empty());
}

TEST_F(AvvioTest, DittaMancanteOVuota) {
    amb.ScriviIni("[PATH]\nDIRINI=/\n[BASE]\nDITTA=   \n");
    EXPECT_FALSE(Avvia());
    ASSERT_EQ(g.Messaggi.Mostrati().size(), 1u);
    EXPECT_EQ(Ultimo().testo, "DITTA    non definita");
    EXPECT_EQ(g.EnvironmentSettings.TempDirectory, "/temp/") << "blank TEMP under the root";
}

// A connection string longer than a value holds is refused before anything is opened: cut,
// it could lose what it asks for last. A remark past the limit cuts nothing.
TEST_F(AvvioTest, UnServerTroppoLungoNonSiTaglia) {
    const QString protetto =
        "host=/nessuna/cartella dbname=kestor user=" + QString(45, 'u') + " sslmode=verify-full";
    ASSERT_GT(protetto.size(), 99);
    const struct {
        QString valore;
        bool rifiutato;
    } casi[] = {{protetto, true}, {"host=/nessuna/cartella ; " + QString(120, 'n'), false}};
    for (const auto& c : casi) {
        SCOPED_TRACE(c.valore.toStdString());
        amb.ScriviIni(
            ("[PATH]\nDIRINI=" + amb.Radice() + "\n[BASE]\nDITTA=01\nSERVER=" + c.valore + "\n")
                .toUtf8());
        Global gg;
        gg.Messaggi.Copione({Risposta::Annulla});
        ASSERT_TRUE(InizializzaAmbiente(gg, "E", amb.Programma(), amb.Sistema()));
        EXPECT_FALSE(CaricaAmbiente(gg));
        ASSERT_EQ(gg.Messaggi.Mostrati().size(), 1u);
        const QString testo = gg.Messaggi.Mostrati().back().testo;
        EXPECT_EQ(testo.contains("99 caratteri") && testo.contains("pg_service.conf"), c.rifiutato)
            << testo.toStdString();
        EXPECT_EQ(!gg.EnvironmentSettings.Workspace, c.rifiutato) << "nothing opened";
    }
}

// A company folder this login cannot write (another login's, or made unwritable): the
// operator is told at the opening what the administrator must run, not at the first save,
// and may still consult it.
TEST_F(AvvioTest, UnaCartellaCheQuestoUtenteNonPuoScrivere) {
    amb.IniNormale();
    const QString cartella = QFileInfo(amb.PercorsoDitta()).absolutePath();
    QFile::setPermissions(cartella, QFile::ReadOwner | QFile::ExeOwner);
    const bool immutabile = geteuid() == 0 && QProcess::execute("chattr", {"+i", cartella}) == 0;
    const auto riapri = qScopeGuard([&] {
        if (immutabile) QProcess::execute("chattr", {"-i", cartella});
        QFile::setPermissions(cartella, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    if (geteuid() == 0 && !immutabile) GTEST_SKIP() << "no way to close the folder";
    EXPECT_TRUE(Avvia());
    ASSERT_EQ(g.Messaggi.Mostrati().size(), 1u);
    const QString radice = amb.Radice().chopped(1);
    EXPECT_TRUE(Ultimo().testo.startsWith("DATABASE " + amb.PercorsoDitta() +
                                          " NON AGGIORNABILE: si può solo consultare.\nla "
                                          "cartella " +
                                          cartella + " non è scrivibile da questo utente.\n"))
        << Ultimo().testo.toStdString();
    EXPECT_TRUE(Ultimo().testo.contains("\nanagrafica-setup " + radice + " --gruppo "));
    EXPECT_EQ(Ultimo().titolo, "NORVAL - ERRORE");
    EXPECT_EQ(Ultimo().pulsanti, Pulsanti::OK);
}

// Every way a database can be unusable gives the titled Retry message, naming the real
// cause, and Retry really tries again; the program never creates a database.
TEST_F(AvvioTest, DatabaseInutilizzabile) {
    amb.IniNormale();
    const QString ditta = amb.PercorsoDitta(), tabelle = amb.PercorsoTabelle();
    const QByteArray kSenzaClienti = "<senza Clienti>";
    const QString kNorval = "NORVAL - ERRORE", kClienti = "ERRORE IN APERTURA ARCHIVIO CLIENTI";
    const struct {
        QString file;
        QByteArray contenuto;  // null: no file at all
        QString testo;         // how the message starts
        QString titolo;
    } casi[] = {
        {ditta, QByteArray(), "DATABASE " + ditta + " INESISTENTE", kNorval},
        {ditta, "", "DATABASE " + ditta + "\nErrore n. 3", kNorval},
        {ditta, "non un database", "DATABASE " + ditta + "\nErrore n. 3", kNorval},
        {ditta, QByteArray("SQLite format 3\0", 16) + QByteArray(84, '\xff'),
         "DATABASE " + ditta + "\nErrore n. 3", kNorval},
        {tabelle, QByteArray(), "DATABASE " + tabelle + " INESISTENTE", kNorval},
        {ditta, kSenzaClienti, "", kClienti},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.testo.toStdString() + c.contenuto.left(20).toStdString());
        for (const QString& f : {ditta, tabelle}) QFile::remove(f);
        amb.CreaTabelle(tabelle);
        amb.CreaDitta(ditta, c.contenuto != kSenzaClienti);
        if (c.contenuto != kSenzaClienti) QFile::remove(c.file);
        if (!c.contenuto.isNull() && c.contenuto != kSenzaClienti) ScriviFile(c.file, c.contenuto);
        Global gg;
        gg.Messaggi.Copione({Risposta::Riprova, Risposta::Annulla});
        ASSERT_TRUE(InizializzaAmbiente(gg, "E", amb.Programma(), amb.Sistema()));
        EXPECT_FALSE(CaricaAmbiente(gg));
        EXPECT_FALSE(gg.ClientsTableOpen);
        EXPECT_EQ(gg.EnvironmentSettings.CompanyDatabaseOpen,
                  c.file != ditta || c.titolo == kClienti);
        ASSERT_EQ(gg.Messaggi.Mostrati().size(), 2u) << "Retry shows the message again";
        const Messaggio& m = gg.Messaggi.Mostrati().back();
        EXPECT_TRUE(m.testo.startsWith(c.testo)) << m.testo.toStdString();
        EXPECT_EQ(m.testo.contains("INESISTENTE"), c.contenuto.isNull()) << "the file is there";
        EXPECT_EQ(m.titolo, c.titolo);
        EXPECT_EQ(m.pulsanti, Pulsanti::RiprovaAnnulla);
        EXPECT_EQ(m.icona, c.titolo == kClienti ? Icona::Esclamazione : Icona::Critica);
        if (c.titolo == kClienti) {
            EXPECT_TRUE(m.testo.contains("Clienti"));
            EXPECT_EQ(gg.MessageTitle, kClienti);
        }
        if (c.contenuto.isNull()) {
            EXPECT_FALSE(QFile::exists(c.file)) << "nothing created";
        }
    }
}

}  // namespace

namespace {

// On a server the environment file's SERVER chooses it; what cannot be opened says the
// server's cause in the same boxes, and Retry tries again.
class AvvioServerTest : public ::testing::TestWithParam<Motore> {
  protected:
    AmbienteProva amb{GetParam()};
};
SOLO_SUL_SERVER(AvvioServerTest);

TEST_P(AvvioServerTest, IlServerNelFileDiAmbienteEISuoiErrori) {
    amb.IniNormale();
    {
        Global g;
        ASSERT_TRUE(InizializzaAmbiente(g, "E", amb.Programma(), amb.Sistema()));
        ASSERT_TRUE(CaricaAmbiente(g));
        EXPECT_EQ(g.EnvironmentSettings.CompanyDatabasePath, "ditta_01");
        EXPECT_EQ(g.EnvironmentSettings.CodeTablesDatabasePath, "tabkes");
        EXPECT_TRUE(g.ClientsTableOpen);
        EXPECT_TRUE(g.Messaggi.Mostrati().empty());
        ChiudiAmbiente(g);
    }
    auto Messaggio = [&](const QString& server) {
        amb.ScriviIni(
            ("[PATH]\nDIRINI=" + amb.Radice() + "\n[BASE]\nDITTA=01\nSERVER=" + server + "\n")
                .toUtf8());
        Global g;
        g.Messaggi.Copione({Risposta::Riprova, Risposta::Annulla});
        EXPECT_TRUE(InizializzaAmbiente(g, "E", amb.Programma(), amb.Sistema()));
        EXPECT_FALSE(CaricaAmbiente(g));
        EXPECT_EQ(g.Messaggi.Mostrati().size(), 2u) << "Retry shows it again";
        EXPECT_EQ(g.Messaggi.Mostrati().back().titolo, "NORVAL - ERRORE");
        EXPECT_EQ(g.Messaggi.Mostrati().back().pulsanti, Pulsanti::RiprovaAnnulla);
        return g.Messaggi.Mostrati().back().testo;
    };
    QString testo = Messaggio(amb.Server() + " dbname=nessun_db");
    EXPECT_TRUE(testo.startsWith("DATABASE ditta_01\nErrore n. 3151: ")) << testo.toStdString();
    EXPECT_TRUE(testo.contains("nessun_db")) << testo.toStdString();
    testo = Messaggio("host=/nessuna/cartella");
    EXPECT_TRUE(testo.contains("/nessuna/cartella")) << testo.toStdString();

    amb.Elimina(amb.PercorsoDitta());
    testo = Messaggio(amb.Server());
    EXPECT_TRUE(testo.startsWith("DATABASE ditta_01\nErrore n. 3044: ")) << testo.toStdString();
    motore::Workspace ws(amb.Server());
    try {
        amb.ApriDitta(ws);
        ADD_FAILURE() << "nothing is created by a failed start";
    } catch (const motore::Errore& e) {
        EXPECT_EQ(e.Numero(), motore::ErrPercorso);
    }
}

}  // namespace
