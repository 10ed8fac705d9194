// What the client form makes of each outcome of a save: the words and buttons the operator
// gets, the mode and the field it is left in, what stays typed. What is stored is the data
// layer's (tests/data/SalvataggioTest.cpp); real programs side by side: OperatoriTest.

#include "support/ModuloClientiTest.h"

#include <optional>

namespace {

struct Esito {
    const char* nome;
    const char* codice;  // typed in the code box; empty: a new client, its code the program's
    // Another program's statement, or the code of a client it stores: before the code is
    // entered, after the form is filled (empty: it holds the table), while the question is up.
    const char* prima;
    const char* altro;
    const char* durante;
    Risposta risposta;           // to the question about a new code or another's change
    std::vector<QString> testi;  // the last one may be the start of the message
    const char* titolo;
    std::optional<Icona> icona;
    std::optional<Pulsanti> pulsanti;
    int modo;
    int campo;           // the field with the focus afterwards
    const char* ragsoc;  // the name on the form afterwards
    const char* telefono;
    bool riprova;  // once the other program is done, CONFERMA saves without a word
};

const QString kDomanda = "CLIENTE MODIFICATO DA UN ALTRO UTENTE: SOVRASCRIVO ?";
const QString kCancellato = "CLIENTE CANCELLATO DA UN ALTRO UTENTE";
const QString kNessunCodice = "NESSUN CODICE LIBERO PER UN NUOVO CLIENTE";

const char* const kAltroCodice = "INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (%1, 'X')";

// clang-format off
const Esito kEsiti[] = {
    {"CodiceSpostato", "", nullptr, "6", nullptr, Risposta::Si,
     {"IL CODICE 6 E' STATO OCCUPATO DA UN ALTRO UTENTE:\n"
      "IL CLIENTE E' STATO INSERITO CON IL CODICE 7"},
     "NORVAL - INSERIMENTO", std::nullopt, Pulsanti::OK, 0, 0, "", "", false},
    {"CodiceDigitatoPreso", "20", nullptr, "20", nullptr, Risposta::Si,
     {"CODICE  20  INESISTENTE: LO VUOI INSERIRE", ""},
     "NORVAL - ERRORE N. 3022", Icona::Critica, std::nullopt, 1, 4, "NOME", "0612345", false},
    {"NessunCodiceLibero", "", "2147483646", "2147483647", nullptr, Risposta::Si,
     {kNessunCodice},
     "NORVAL - INSERIMENTO", std::nullopt, Pulsanti::OK, 1, 4, "NOME", "0612345", false},
    {"Bloccato", "", nullptr, "", nullptr, Risposta::Si,
     {"Errore in scrittura: operazione impossibile\n"},
     "NORVAL - ERRORE N. 3218", Icona::Critica, std::nullopt, 1, 4, "NOME", "0612345", true},
    {"CambiatoNo", "5", nullptr, "UPDATE Clienti SET CliRagsoc = 'DELL''ALTRO' WHERE CliCodice = 5",
     nullptr, Risposta::No,
     {kDomanda},
     "", Icona::Domanda, Pulsanti::SiNo, 2, 1, "DELL'ALTRO", "", true},
    {"CancellatoDopoNo", "5", nullptr, "UPDATE Clienti SET CliRagsoc = 'PRIMA' WHERE CliCodice = 5",
     "DELETE FROM Clienti WHERE CliCodice = 5", Risposta::No,
     {kDomanda, kCancellato},
     "", std::nullopt, Pulsanti::OK, 0, 0, "", "", false},
    {"CancellatoDaAltri", "5", nullptr, "DELETE FROM Clienti WHERE CliCodice = 5", nullptr,
     Risposta::Si,
     {kCancellato},
     "", std::nullopt, Pulsanti::OK, 0, 0, "", "", false},
};
// clang-format on

class EsitiModuloTest : public ModuloClientiTest {
  protected:
    void SetUp() override {
        Avvia();
        altroDb = amb.ApriDitta(altroWs);
        g.EnvironmentSettings.Workspace->ImpostaAttesaBlocco(100);
    }
    // A statement, or a bare code: a client stored under it.
    void Altro(const QString& sql) {
        bool codice = false;
        sql.toInt(&codice);
        altroDb->Esegui(codice ? QString(kAltroCodice).arg(sql) : sql);
    }
    void TearDown() override {
        if (bloccato) altroDb->Esegui("COMMIT");
    }

    motore::Workspace altroWs{amb.Server()};
    std::unique_ptr<motore::Database> altroDb;
    bool bloccato = false;
};
SU_OGNI_MOTORE(EsitiModuloTest);

TEST_P(EsitiModuloTest, OgniEsitoDelSalvataggio) {
    for (const Esito& e : kEsiti) {
        SCOPED_TRACE(e.nome);
        if (form->ModoMaschera != 0) Clicca(3);
        altroDb->Esegui("DELETE FROM Clienti");
        altroDb->Esegui("INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (5, 'QUINTO')");
        if (e.prima) Altro(e.prima);
        g.Messaggi.AzzeraMostrati();
        Passi({{.risposta = e.risposta, .scrivi = e.codice, .tasto = Qt::Key_Return}});
        ASSERT_NE(form->ModoMaschera, 0);
        Passi({{.tasto = Qt::Key_Home},
               {.vai = 4, .sopra = true, .scrivi = "NOME"},
               {.vai = 10, .scrivi = "0612345"}});
        bloccato = !*e.altro;
        Altro(bloccato ? amb.SqlBloccoScrittura("Clienti") : QString(e.altro));
        g.Messaggi.MentreAperto = [&](const Messaggio& m) {
            if (e.durante && m.pulsanti == Pulsanti::SiNo) altroDb->Esegui(e.durante);
        };
        // clang-format off
        Passi({{.clic = 0, .titolo = e.titolo, .pulsanti = e.pulsanti, .icona = e.icona,
                .fuoco = e.campo, .campi = {{4, e.ragsoc}, {10, e.telefono}},
                .modo = QString::number(e.modo)}});
        // clang-format on
        g.Messaggi.MentreAperto = nullptr;
        std::vector<QString> testi = Testi();
        ASSERT_EQ(testi.size(), e.testi.size());
        if (!testi.empty() && testi.back().startsWith(e.testi.back()))
            testi.back() = e.testi.back();
        EXPECT_EQ(testi, e.testi);
        const Messaggio& m = g.Messaggi.Mostrati().back();
        EXPECT_EQ(m.predefinito, m.pulsanti == Pulsanti::SiNo ? 1 : m.predefinito)
            << "No is the default";
        // The field the form leaves the operator in was entered: Ctrl+R gives back its text.
        Passi({{.tasto = Qt::Key_R,
                .con = Qt::ControlModifier,
                .campi = {{e.campo, Txt(e.campo)->text()}}}});

        if (bloccato) altroDb->Esegui("COMMIT");
        bloccato = false;
        if (!e.riprova) continue;
        g.Messaggi.AzzeraMostrati();
        Clicca(0);
        EXPECT_TRUE(Testi().empty()) << "the form holds the row as stored now";
        EXPECT_EQ(form->ModoMaschera, 0);
    }

    // With no code free, an empty code offers none.
    Altro("2147483646");
    Altro("2147483647");
    Passi({{.tasto = Qt::Key_Return,
            .messaggio = kNessunCodice,
            .messaggi = 1,
            .fuoco = 0,
            .campi = {{0, ""}},
            .modo = "0"}});
    EXPECT_TRUE(Txt(0)->isEnabled());
}

// ELIMINA on a client that another program deleted and stored anew under its code: nothing
// deleted; said, and shown as it is now, for the operator to decide again.
TEST_P(EsitiModuloTest, NonSiEliminaUnAltroCliente) {
    Altro("5");
    Passi({{.scrivi = "5", .tasto = Qt::Key_Return, .modo = "2"}});
    Altro("DELETE FROM Clienti WHERE CliCodice = 5");
    Altro("INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (5, 'UN ALTRO')");
    const QString nome = "SELECT rtrim(CliRagsoc) FROM Clienti WHERE CliCodice = 5";
    // clang-format off
    Passi({{.risposta = Risposta::Si, .clic = 2, .messaggio = "CLIENTE MODIFICATO DA UN ALTRO UTENTE",
            .messaggi = 2, .fuoco = 1, .campi = {{4, "UN ALTRO"}}, .modo = "2", .sql = nome,
            .letto = "UN ALTRO"},
           {.risposta = Risposta::Si, .clic = 2, .messaggi = 1, .modo = "3", .sql = nome,
            .letto = ""}});
    // clang-format on
}

}  // namespace
