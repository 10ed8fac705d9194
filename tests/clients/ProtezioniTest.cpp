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
    std::vector<Passo> passi = {{.scrivi = "7", .tasto = Qt::Key_Return, .fuoco = 1, .modo = "2"}};
    for (int i = 0; i < 17; ++i) passi.push_back({.tasto = Qt::Key_Return});
    passi.back().fuoco = 1;  // Enter walked all the way round
    for (int tasto : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Home, Qt::Key_Down})
        passi.push_back({.tasto = tasto});
    passi.back().fuoco = 2;
    passi.back().campi = {{1, "01234567890"}};
    Passi(passi);
    EXPECT_TRUE(g.Messaggi.Mostrati().empty());

    // Its check digit is wrong, yet the code as stored passes. Anything else shorter than 16
    // is still refused, and so is a changed code whose check character is wrong. Each is
    // typed over by the stored code, which passes.
    passi.clear();
    // clang-format off
    for (const char* errato :
         {"0123456789A", "012345678901", "012345678901234", "01234567891", "RCCMNL83S18D969A"}) {
        passi.push_back({.tasto = Qt::Key_Up});
        passi.push_back({.scrivi = errato, .tasto = Qt::Key_Return,
                         .messaggio = "CODICE FISCALE ERRATO O ESISTENTE",
                         .titolo = "NORVAL - ERRORE N. 1", .icona = Icona::Critica, .fuoco = 1});
        passi.push_back({.scrivi = "01234567890", .tasto = Qt::Key_Return, .messaggi = 0});
    }
    // The VAT number alike.
    passi.push_back({.tasto = Qt::Key_Down});
    passi.push_back({.scrivi = "01234567891", .tasto = Qt::Key_Return,
                     .titolo = "NORVAL - ERRORE N. 3", .messaggi = 1});
    passi.push_back({.scrivi = "01234567890", .tasto = Qt::Key_Return, .messaggi = 0, .fuoco = 4});
    // clang-format on
    Passi(passi);
}

TEST_P(ProtezioniTest, UnNumeroDiUnAltraAziendaVaAllElenco) {
    AggiungiAzienda(7, "00743110157");
    Avvia();
    // A free company number passes.
    Passi({{.tasto = Qt::Key_Return, .messaggi = 0},
           {.scrivi = "01234560017", .tasto = Qt::Key_Return, .messaggi = 0, .fuoco = 2}});
    EXPECT_EQ(g.QueryText.section(" WHERE ", 1),
              "(CliPartitaIva = '01234560017' OR CliCodiceFiscale = '01234560017') ORDER BY "
              "CliPartitaIva");
    AlloElenco(1);
    Passi({{.tasto = Qt::Key_Up},
           {.scrivi = "00743110157",
            .tasto = Qt::Key_Return,
            .titolo = "NORVAL - ERRORE N. 1",
            .fuoco = 1}});
    EXPECT_EQ(righeElenco, 1) << "the company that has it is listed";
}

// Another program holds the database locked while the operator types a code: no client
// appears, nothing can be written, and once the lock is gone the same Enter reads it.
TEST_P(ProtezioniTest, UnClienteNonLettoNonSiPuoSalvare) {
    AggiungiAzienda(3, "01234567890");
    ComeDaUnaCartellaDiRete();
    Avvia();
    Blocca();
    // clang-format off
    ASSERT_TRUE(Passi({{.scrivi = "3", .tasto = Qt::Key_Return, .messaggi = 1, .fuoco = 0,
                        .campi = {{0, "3"}, {4, ""}}, .modo = "0"}}));
    // clang-format on
    EXPECT_TRUE(g.Messaggi.Mostrati()[0].testo.startsWith(
        "ERRORE NELLA TABELLA CLIENTI\nErrore n. 3218: "));
    EXPECT_EQ(g.ClientRecord.CliCodice, 0);
    EXPECT_TRUE(Txt(0)->isEnabled());
    EXPECT_TRUE(form->CmdI(2)->isHidden());
    Passi({{.tasto = 'C', .con = Qt::AltModifier},
           {.tasto = 'E', .con = Qt::AltModifier, .fuoco = 0},
           {.clic = 0}});
    Sblocca();
    EXPECT_EQ(Leggi("SELECT CliRagsoc FROM Clienti WHERE CliCodice = 3"), "AZIENDA SRL");
    EXPECT_EQ(Leggi(kQuanti), "1");

    // A new client's code cannot be taken under the lock either.
    Clicca(Txt(0));
    Blocca();
    Passi({{.sopra = true, .tasto = Qt::Key_Backspace},
           {.tasto = Qt::Key_Return, .fuoco = 0, .campi = {{0, ""}}, .modo = "0"}});
    EXPECT_TRUE(g.Messaggi.Mostrati().back().testo.startsWith("ERRORE NELLA TABELLA CLIENTI\n"));
    Sblocca();
    Passi({{.scrivi = "3", .tasto = Qt::Key_Return, .campi = {{4, "AZIENDA SRL"}}, .modo = "2"}});
}

TEST_P(ProtezioniTest, NessunClienteSenzaRagioneSociale) {
    Avvia();
    NuovoCliente();
    // clang-format off
    std::vector<Passo> passi = {
        {.tasto = 'I', .con = Qt::AltModifier, .modo = "0", .sql = kQuanti, .letto = "1"}};
    // On the cleared form: each Alt+I takes a code but saves nothing, one message for the
    // field, none for the save.
    for (int volta = 0; volta < 3; ++volta)
        passi.push_back({.tasto = 'I', .con = Qt::AltModifier,
                         .messaggio = "INDICARE LA RAGIONE SOCIALE",
                         .titolo = "NORVAL - ERRORE N. 4", .messaggi = 1, .fuoco = 4,
                         .sql = kQuanti, .letto = "1"});
    // clang-format on
    passi.push_back({.clic = 3});
    Passi(passi);

    // Return on an empty code and at once Alt+I.
    QTest::keyClick(Txt(0), Qt::Key_Return);
    QTest::keyClick(Fuoco(), Qt::Key_I, Qt::AltModifier);
    Attendi();
    QTest::qWait(150);
    // With nothing on the form a save writes nothing.
    Passi({{.messaggio = "INDICARE LA RAGIONE SOCIALE", .sql = kQuanti, .letto = "1"},
           {.clic = 3},
           {.clic = 0},
           {.tasto = 'I',
            .con = Qt::AltModifier,
            .sql = "SELECT CliCodice || ':' || CliRagsoc FROM Clienti",
            .letto = "1:NUOVO CLIENTE"}});
}

TEST_P(ProtezioniTest, UnCampoErratoFermaIlSalvataggioDaTastiera) {
    Avvia();
    NuovoCliente();
    Passi({{.vai = 9,
            .scrivi = "X",
            .tasto = 'I',
            .con = Qt::AltModifier,
            .messaggio = "PROVINCIA ERRATA",
            .fuoco = 9,
            .sql = kQuanti,
            .letto = "0"},  // the operator corrects first
           {.scrivi = "MI",
            .tasto = 'I',
            .con = Qt::AltModifier,
            .sql = "SELECT CliProvincia FROM Clienti",
            .letto = "MI"}});
}

}  // namespace
