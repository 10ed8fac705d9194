// What the client form does when the data is not what it expects: a company's numeric fiscal
// code, a table another program holds locked, a save with no name or no client.

#include "support/ModuloClientiTest.h"

namespace {

class ProtezioniTest : public ModuloClientiTest {
  protected:
    // Readers are locked out only under the rollback journal: files are opened as from a
    // network folder, by this program and then by the one that locks (on a local disk the
    // log lets readers through).
    void ComeDaUnaCartellaDiRete() {
        g.EnvironmentSettings.Workspace = std::make_unique<motore::Workspace>(amb.Server());
        g.EnvironmentSettings.Workspace->ImpostaCartellaDiRete(true);
    }
    // Another program that holds the company database locked, readers included.
    void Blocca() {
        altroWs = std::make_unique<motore::Workspace>(amb.Server());
        altroWs->ImpostaCartellaDiRete(g.EnvironmentSettings.Workspace->CartellaDiRete());
        altroDb = amb.ApriDitta(*altroWs);
        altroDb->Esegui(amb.SqlBloccoTotale("Clienti"));
        g.EnvironmentSettings.Workspace->ImpostaAttesaBlocco(100);
    }
    void Sblocca() { altroDb->Esegui("COMMIT"); }

    void AggiungiAzienda(int codice, const QString& numero) {
        motore::Workspace ws(amb.Server());
        amb.ApriDitta(ws)->Esegui(
            "INSERT INTO Clienti (CliCodice, CliRagsoc, CliNazione, CliPartitaIva, "
            "CliCodiceFiscale, CliProvincia) VALUES (?1, 'AZIENDA SRL', 'IT', ?2, ?2, 'MI')",
            {codice, numero});
    }

    std::unique_ptr<motore::Workspace> altroWs;
    std::unique_ptr<motore::Database> altroDb;
};
SU_OGNI_MOTORE(ProtezioniTest);

TEST_P(ProtezioniTest, UnAziendaSiPercorreSenzaMessaggi) {
    AggiungiAzienda(7, "01234567890");
    Avvia();
    Scrivi("7");
    Premi(Qt::Key_Return);
    ASSERT_EQ(form->ModoMaschera, 2);
    ASSERT_EQ(CampoConFuoco(), 1);
    for (int i = 0; i < 17; ++i) Premi(Qt::Key_Return);
    EXPECT_EQ(CampoConFuoco(), 1) << "Enter walked all the way round";
    Premi(Qt::Key_Up);
    Premi(Qt::Key_Down);
    Premi(Qt::Key_Down);
    Premi(Qt::Key_Home);
    Premi(Qt::Key_Down);
    EXPECT_EQ(CampoConFuoco(), 2);
    EXPECT_TRUE(g.Messaggi.Mostrati().empty());
    EXPECT_EQ(Txt(1)->text(), "01234567890");

    // Its check digit is wrong, yet the code as stored passes. Anything else shorter than 16
    // is still refused, and so is a changed code whose check character is wrong.
    for (const char* errato :
         {"0123456789A", "012345678901", "012345678901234", "01234567891", "RCCMNL83S18D969A"}) {
        Premi(Qt::Key_Up);
        Scrivi(errato);
        Premi(Qt::Key_Return);
        ASSERT_FALSE(g.Messaggi.Mostrati().empty()) << errato;
        EXPECT_EQ(g.Messaggi.Mostrati().back().testo, "CODICE FISCALE ERRATO O ESISTENTE");
        EXPECT_EQ(g.Messaggi.Mostrati().back().titolo, "NORVAL - ERRORE N. 1") << errato;
        EXPECT_EQ(g.Messaggi.Mostrati().back().icona, Icona::Critica);
        EXPECT_EQ(CampoConFuoco(), 1) << errato;
        g.Messaggi.AzzeraMostrati();
        Scrivi("01234567890");  // over the selected refused text
        Premi(Qt::Key_Return);
        EXPECT_TRUE(g.Messaggi.Mostrati().empty()) << errato;
    }
    // The VAT number alike.
    Premi(Qt::Key_Down);
    Scrivi("01234567891");
    Premi(Qt::Key_Return);
    EXPECT_EQ(g.Messaggi.Mostrati().back().titolo, "NORVAL - ERRORE N. 3");
    Scrivi("01234567890");
    Premi(Qt::Key_Return);
    EXPECT_EQ(CampoConFuoco(), 4);
    EXPECT_EQ(g.Messaggi.Mostrati().size(), 1u);
}

TEST_P(ProtezioniTest, UnNumeroDiUnAltraAziendaVaAllElenco) {
    AggiungiAzienda(7, "00743110157");
    Avvia();
    Premi(Qt::Key_Return);  // a new client
    Scrivi("01234560017");
    Premi(Qt::Key_Return);
    EXPECT_TRUE(g.Messaggi.Mostrati().empty()) << "a free company number passes";
    EXPECT_EQ(CampoConFuoco(), 2);
    EXPECT_EQ(g.QueryText.section(" WHERE ", 1),
              "CliPartitaIva = '01234560017' ORDER BY CliPartitaIva");

    Premi(Qt::Key_Up);
    AlloElenco(1);
    Scrivi("00743110157");
    Premi(Qt::Key_Return);
    EXPECT_EQ(righeElenco, 1) << "the company that has it is listed";
    EXPECT_EQ(g.Messaggi.Mostrati().back().titolo, "NORVAL - ERRORE N. 1");
    EXPECT_EQ(CampoConFuoco(), 1);
}

// Another program holds the database locked while the operator types a code: no client
// appears, nothing can be written, and once the lock is gone the same Enter reads it.
TEST_P(ProtezioniTest, UnClienteNonLettoNonSiPuoSalvare) {
    AggiungiAzienda(3, "01234567890");
    ComeDaUnaCartellaDiRete();
    Avvia();
    Blocca();
    Scrivi("3");
    Premi(Qt::Key_Return);
    ASSERT_EQ(g.Messaggi.Mostrati().size(), 1u);
    const Messaggio& m = g.Messaggi.Mostrati()[0];
    EXPECT_TRUE(m.testo.startsWith("ERRORE NELLA TABELLA CLIENTI\nErrore n. 3218: "));
    EXPECT_EQ(g.ClientRecord.CliCodice, 0);
    EXPECT_EQ(form->ModoMaschera, 0);
    EXPECT_EQ(CampoConFuoco(), 0);
    EXPECT_TRUE(Txt(0)->isEnabled());
    EXPECT_EQ(Txt(0)->text(), "3");
    EXPECT_TRUE(Txt(4)->text().isEmpty());
    EXPECT_TRUE(form->CmdI(2)->isHidden());
    Rapido('C');
    Rapido('E');
    EXPECT_EQ(CampoConFuoco(), 0);
    Clicca(0);
    Sblocca();
    EXPECT_EQ(Leggi("SELECT CliRagsoc FROM Clienti WHERE CliCodice = 3"), "AZIENDA SRL");
    EXPECT_EQ(Clienti(), 1);

    // A new client's code cannot be taken under the lock either.
    QTest::mouseClick(Txt(0), Qt::LeftButton);
    Attendi();
    Blocca();
    Txt(0)->selectAll();
    Premi(Qt::Key_Backspace);
    Premi(Qt::Key_Return);
    EXPECT_TRUE(g.Messaggi.Mostrati().back().testo.startsWith("ERRORE NELLA TABELLA CLIENTI\n"));
    EXPECT_EQ(form->ModoMaschera, 0);
    EXPECT_EQ(CampoConFuoco(), 0);
    EXPECT_TRUE(Txt(0)->text().isEmpty());
    Sblocca();

    Scrivi("3");
    Premi(Qt::Key_Return);
    EXPECT_EQ(form->ModoMaschera, 2);
    EXPECT_EQ(Txt(4)->text(), "AZIENDA SRL");
}

TEST_P(ProtezioniTest, NessunClienteSenzaRagioneSociale) {
    Avvia();
    NuovoCliente();
    Rapido('I');
    ASSERT_EQ(Clienti(), 1);
    ASSERT_EQ(form->ModoMaschera, 0);

    // On the cleared form: each Alt+I takes a code but saves nothing.
    for (int volta = 0; volta < 3; ++volta) {
        g.Messaggi.AzzeraMostrati();
        Rapido('I');
        EXPECT_EQ(Clienti(), 1);
        ASSERT_FALSE(g.Messaggi.Mostrati().empty());
        EXPECT_EQ(g.Messaggi.Mostrati().back().testo, "INDICARE LA RAGIONE SOCIALE");
        EXPECT_EQ(g.Messaggi.Mostrati().back().titolo, "NORVAL - ERRORE N. 4");
        EXPECT_EQ(CampoConFuoco(), 4);
    }
    EXPECT_EQ(g.Messaggi.Mostrati().size(), 1u) << "one message for the field, none for the save";
    Clicca(3);

    // Return on an empty code and at once Alt+I.
    QTest::keyClick(Txt(0), Qt::Key_Return);
    QTest::keyClick(Fuoco(), Qt::Key_I, Qt::AltModifier);
    Attendi();
    QTest::qWait(150);
    EXPECT_EQ(Clienti(), 1);
    EXPECT_EQ(g.Messaggi.Mostrati().back().testo, "INDICARE LA RAGIONE SOCIALE");

    // With nothing on the form a save writes nothing.
    Clicca(3);
    Clicca(0);
    Rapido('I');
    EXPECT_EQ(Elenco("SELECT CliCodice || ':' || CliRagsoc FROM Clienti ORDER BY CliCodice"),
              "1:NUOVO CLIENTE");
}

TEST_P(ProtezioniTest, UnCampoErratoFermaIlSalvataggioDaTastiera) {
    Avvia();
    NuovoCliente();
    Avanza(9);
    Scrivi("X");
    Rapido('I');
    EXPECT_EQ(g.Messaggi.Mostrati().back().testo, "PROVINCIA ERRATA");
    EXPECT_EQ(CampoConFuoco(), 9);
    EXPECT_EQ(Clienti(), 0) << "the operator corrects first";
    Scrivi("MI");
    Rapido('I');
    EXPECT_EQ(Leggi("SELECT CliProvincia FROM Clienti"), "MI");
}

}  // namespace
