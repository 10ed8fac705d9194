// What a save of the data layer says happened, with no form: each outcome on both engines,
// for the clients and the localities alike, with what is stored afterwards.

#include "data/Clienti.h"
#include "data/Localita.h"
#include "ui/Global.h"

#include "support/AmbienteProva.h"

#include <gtest/gtest.h>

namespace {

using Tipo = EsitoSalvataggio::Tipo;

// What the operator does: a new client (its code typed or taken by the program; again, after
// a save whose outcome was unknown), a change of a client read before (and, asked about
// another's change, Yes or No), a deletion.
enum class Azione {
    Digitato,
    Automatico,
    DigitatoDiNuovo,
    AutomaticoDiNuovo,
    Variazione,
    VariazioneSi,
    VariazioneNo,
    Elimina
};

struct Caso {
    const char* nome;
    std::vector<const char*> altro;  // what another program stores after the read
    bool bloccato;                   // another program holds the database meanwhile
    Azione azione;
    std::int32_t codice;
    Tipo atteso;
    std::int32_t codiceAtteso;  // stored; for a failure, the code kept on the record
    int domande;                // questions about another's change
    int errore;
    const char* righe;
};

#define INS(codice, nome) \
    "INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (" #codice ", '" nome "')"
// clang-format off
const Caso kClienti[] = {
    {"Nuovo", {}, false, Azione::Digitato, 3, Tipo::Salvato, 3, 0, 0, "1:ALFA,2:BETA,3:NUOVO"},
    {"CodicePresoDalProgramma", {INS(3, "ALTRO")}, false, Azione::Automatico, 3,
     Tipo::SalvatoAltroCodice, 4, 0, 0, "1:ALFA,2:BETA,3:ALTRO,4:NUOVO"},
    {"CodiceDigitatoPreso", {INS(3, "ALTRO")}, false, Azione::Digitato, 3,
     Tipo::Fallito, 3, 0, motore::ErrChiaveDuplicata, "1:ALFA,2:BETA,3:ALTRO"},
    // Stored already, as by a save whose outcome was unknown: not stored twice.
    {"CodiceDigitatoGiaSalvato", {INS(3, "NUOVO")}, false, Azione::DigitatoDiNuovo, 3,
     Tipo::Salvato, 3, 0, 0, "1:ALFA,2:BETA,3:NUOVO"},
    {"CodiceAutomaticoGiaSalvato", {INS(3, "NUOVO")}, false, Azione::AutomaticoDiNuovo, 3,
     Tipo::Salvato, 3, 0, 0, "1:ALFA,2:BETA,3:NUOVO"},
    {"AltroCodiceGiaSalvato", {INS(3, "ALTRO"), INS(4, "NUOVO")}, false,
     Azione::AutomaticoDiNuovo, 3, Tipo::SalvatoAltroCodice, 4, 0, 0,
     "1:ALFA,2:BETA,3:ALTRO,4:NUOVO"},
    // The same data stored by another operator meanwhile is their client: this one is new.
    {"UgualeDiUnAltroDigitato", {INS(3, "NUOVO")}, false, Azione::Digitato, 3, Tipo::Fallito, 3,
     0, motore::ErrChiaveDuplicata, "1:ALFA,2:BETA,3:NUOVO"},
    {"UgualeDiUnAltroAutomatico", {INS(3, "NUOVO")}, false, Azione::Automatico, 3,
     Tipo::SalvatoAltroCodice, 4, 0, 0, "1:ALFA,2:BETA,3:NUOVO,4:NUOVO"},
    {"UgualeDiUnAltroAlCodiceDopo", {INS(3, "ALTRO"), INS(4, "NUOVO")}, false, Azione::Automatico,
     3, Tipo::SalvatoAltroCodice, 5, 0, 0, "1:ALFA,2:BETA,3:ALTRO,4:NUOVO,5:NUOVO"},
    {"VariazioneGiaSalvata", {"UPDATE Clienti SET CliRagsoc = 'NUOVO' WHERE CliCodice = 1"},
     false, Azione::VariazioneNo, 1, Tipo::Salvato, 1, 0, 0, "1:NUOVO,2:BETA"},
    {"NessunCodiceLibero", {INS(2147483646, "X"), INS(2147483647, "Y")}, false, Azione::Automatico,
     2147483646, Tipo::CodiciEsauriti, 2147483646, 0, 0, "1:ALFA,2:BETA,2147483646:X,2147483647:Y"},
    {"Variazione", {}, false, Azione::Variazione, 1, Tipo::Salvato, 1, 0, 0, "1:NUOVO,2:BETA"},
    {"CambiatoDaAltriTenuto", {"UPDATE Clienti SET CliRagsoc = 'CAMBIATO' WHERE CliCodice = 1"},
     false, Azione::VariazioneNo, 1, Tipo::CambiatoDaAltri, 1, 1, 0, "1:CAMBIATO,2:BETA"},
    {"CambiatoDaAltriSovrascritto", {"UPDATE Clienti SET CliTelefono = '06' WHERE CliCodice = 1"},
     false, Azione::VariazioneSi, 1, Tipo::Salvato, 1, 1, 0, "1:NUOVO,2:BETA"},
    {"CancellatoDaAltri", {"DELETE FROM Clienti WHERE CliCodice = 1"}, false, Azione::VariazioneSi,
     1, Tipo::CancellatoDaAltri, 1, 0, 0, "2:BETA"},
    {"NuovoBloccato", {}, true, Azione::Automatico, 3, Tipo::Bloccato, 3, 0, motore::ErrBloccato,
     "1:ALFA,2:BETA"},
    {"VariazioneBloccata", {}, true, Azione::Variazione, 1, Tipo::Bloccato, 1, 0,
     motore::ErrBloccato, "1:ALFA,2:BETA"},
    {"Eliminato", {}, false, Azione::Elimina, 2, Tipo::Salvato, 2, 0, 0, "1:ALFA"},
    {"EliminatoDaAltri", {"DELETE FROM Clienti WHERE CliCodice = 2"}, false, Azione::Elimina, 2,
     Tipo::CancellatoDaAltri, 2, 0, 0, "1:ALFA"},
    // Not as read: changed, or another client stored under the code used again.
    {"EliminaCambiato", {"UPDATE Clienti SET CliTelefono = '06' WHERE CliCodice = 2"}, false,
     Azione::Elimina, 2, Tipo::CambiatoDaAltri, 2, 0, 0, "1:ALFA,2:BETA"},
    {"EliminaUnAltro", {"DELETE FROM Clienti WHERE CliCodice = 2", INS(2, "ALTRO")}, false,
     Azione::Elimina, 2, Tipo::CambiatoDaAltri, 2, 0, 0, "1:ALFA,2:ALTRO"},
};
// clang-format on
#undef INS

class SalvataggioTest : public ::testing::TestWithParam<std::tuple<Motore, Caso>> {
  protected:
    SalvataggioTest() : amb(std::get<0>(GetParam())), altroWs(amb.Server()) {}

    void SetUp() override {
        amb.AggiungiCliente(1, "ALFA");
        amb.AggiungiCliente(2, "BETA");
        amb.ApriDatabase(g);
        ASSERT_FALSE(ApriClienti(g));
        g.EnvironmentSettings.Workspace->ImpostaAttesaBlocco(100);
        altroDb = amb.ApriDitta(altroWs);
    }
    void TearDown() override {
        if (altroWs.InTransazione()) altroWs.Rollback();
    }

    QString Righe() const {
        return amb
            .Leggi("SELECT CliCodice || ':' || rtrim(CliRagsoc) FROM Clienti ORDER BY CliCodice")
            .replace('\n', ',');
    }

    AmbienteProva amb;
    Global g;
    motore::Workspace altroWs;
    std::unique_ptr<motore::Database> altroDb;
};

TEST_P(SalvataggioTest, Clienti) {
    const Caso& c = std::get<1>(GetParam());
    ClientRecord r;
    r.CliCodice = c.codice;
    ASSERT_FALSE(LeggiCliente(g, c.codice));
    const ClientRecord letto = g.ClientRecord;
    const bool nuovo = c.azione == Azione::Digitato || c.azione == Azione::Automatico ||
                       c.azione == Azione::DigitatoDiNuovo || c.azione == Azione::AutomaticoDiNuovo;
    if (!nuovo) r = letto;
    r.CliCodice = c.codice;
    r.CliRagsoc = QString(" NUOVO");  // as typed: stored without the leading blank

    for (const char* sql : c.altro) altroDb->Esegui(sql);
    if (c.bloccato) {
        altroWs.BeginTrans();
        altroDb->Esegui("UPDATE Clienti SET CliTelefono = '1' WHERE CliCodice = 2");
    }

    int domande = 0;
    EsitoSalvataggio esito;
    const qint64 viaggi = g.EnvironmentSettings.Workspace->Viaggi();
    if (c.azione == Azione::Elimina) {
        esito = EliminaCliente(g, c.codice, &letto);
    } else {
        ModoSalvataggio modo;
        modo.letto = nuovo ? nullptr : &letto;
        modo.codiceAutomatico =
            c.azione == Azione::Automatico || c.azione == Azione::AutomaticoDiNuovo;
        modo.ripetuto =
            c.azione == Azione::DigitatoDiNuovo || c.azione == Azione::AutomaticoDiNuovo;
        esito = SalvaSeNonCambiato(
            [&](bool sovrascrivi) {
                modo.sovrascrivi = sovrascrivi;
                return SalvaCliente(g, r, modo);
            },
            [&] {
                ++domande;
                return c.azione == Azione::VariazioneSi;
            });
        EXPECT_EQ(r.CliCodice, c.codiceAtteso);
    }
    EXPECT_EQ(esito.tipo, c.atteso);
    EXPECT_EQ(esito.causa.numero, c.errore) << esito.causa.descrizione.toStdString();
    if (esito.Scritto()) {
        EXPECT_EQ(esito.codice, c.codiceAtteso);
    }
    EXPECT_EQ(domande, c.domande);
    // A save that meets nobody's change costs a server two round trips: the row sought
    // with the transaction's beginning, the row written with its end.
    if (std::get<0>(GetParam()) == Motore::Server && c.altro.empty() && !c.bloccato &&
        c.azione != Azione::Elimina) {
        EXPECT_EQ(g.EnvironmentSettings.Workspace->Viaggi() - viaggi, 2);
    }
    if (altroWs.InTransazione()) altroWs.Rollback();
    EXPECT_EQ(Righe(), c.righe);
    EXPECT_TRUE(g.Messaggi.Mostrati().empty()) << "the data layer asks nothing";
    // Nothing stays open: another program writes at once.
    altroDb->Esegui("UPDATE Clienti SET CliTelefono = '2' WHERE CliCodice = 1");
}

INSTANTIATE_TEST_SUITE_P(
    Motori, SalvataggioTest,
    ::testing::Combine(::testing::ValuesIn(MotoriDiProva()), ::testing::ValuesIn(kClienti)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == Motore::File ? "File_" : "Server_") +
               std::get<1>(info.param).nome;
    });

// The localities: the same rule for a row changed or deleted since it was read, and for a
// new locality another operator stored first. A CAP typed over another row's key takes that
// row, as the operator meant.
struct CasoLocalita {
    const char* nome;
    const char* altro;
    bool bloccato;
    bool variazione;
    bool inserimento;  // a new locality, not a key typed over
    bool elimina;
    bool si;  // the answer about another's change
    Tipo atteso;
    int domande;
    const char* riga;  // PROVA's prefix and province as stored after, "" gone
};

#define VIA "DELETE FROM LOCALITA WHERE LocLocalita = 'PROVA'"
#define PREFISSO "UPDATE LOCALITA SET LocPrefisso = '02' WHERE LocLocalita = 'PROVA'"
// clang-format off
const CasoLocalita kLocalita[] = {
    {"Nuova", VIA, false, false, true, false, false, Tipo::Salvato, 0, "06|RM"},
    {"NuovaInseritaDaAltriTenuta", nullptr, false, false, true, false, false,
     Tipo::CambiatoDaAltri, 1, "|MI"},
    {"NuovaInseritaDaAltriSovrascritta", nullptr, false, false, true, false, true, Tipo::Salvato,
     1, "06|RM"},
    {"SopraUnaChiaveDigitata", nullptr, false, false, false, false, false, Tipo::Salvato, 0,
     "06|RM"},
    {"Variazione", nullptr, false, true, false, false, false, Tipo::Salvato, 0, "06|RM"},
    {"CambiataTenuta", PREFISSO, false, true, false, false, false, Tipo::CambiatoDaAltri, 1,
     "02|MI"},
    {"CambiataSovrascritta", PREFISSO, false, true, false, false, true, Tipo::Salvato, 1, "06|RM"},
    {"CancellataDaAltri", VIA, false, true, false, false, true, Tipo::CancellatoDaAltri, 0, ""},
    {"Bloccata", nullptr, true, true, false, false, false, Tipo::Bloccato, 0, "|MI"},
    {"Eliminata", nullptr, false, false, false, true, false, Tipo::Salvato, 0, ""},
    {"EliminataDaAltri", VIA, false, false, false, true, false, Tipo::CancellatoDaAltri, 0, ""},
};
// clang-format on
#undef VIA
#undef PREFISSO

class SalvataggioLocalitaTest : public ::testing::TestWithParam<std::tuple<Motore, CasoLocalita>> {
};

TEST_P(SalvataggioLocalitaTest, Localita) {
    const CasoLocalita& c = std::get<1>(GetParam());
    AmbienteProva amb(std::get<0>(GetParam()));
    amb.CreaLocalita();
    Global g;
    amb.ApriDatabase(g);
    g.EnvironmentSettings.Workspace->ImpostaAttesaBlocco(100);
    motore::Workspace altroWs(amb.Server());
    auto altro = amb.ApriTabelle(altroWs);
    altro->Esegui("INSERT INTO LOCALITA VALUES ('PROVA', '00001', 'MI', NULL, 'LOM')");

    TabellaLocalita t(g);
    ASSERT_TRUE(t.Apri({}));
    std::optional<RigaLocalita> letta;
    ASSERT_FALSE(t.Cerca("=", "PROVA", "00001", letta));
    ASSERT_TRUE(letta);
    if (c.altro) altro->Esegui(c.altro);
    if (c.bloccato) {
        altroWs.BeginTrans();
        altro->Esegui("UPDATE LOCALITA SET LocRegione = 'LAZ' WHERE LocLocalita = 'PROVA'");
    }
    int domande = 0;
    EsitoSalvataggio esito;
    if (c.elimina) {
        esito = t.Elimina("PROVA", "00001");
    } else {
        const RigaLocalita nuova{"PROVA", "00001", "RM", "06", "LAZ"};
        esito = SalvaSeNonCambiato(
            [&](bool sovrascrivi) {
                return t.Salva(nuova, c.variazione ? &*letta : nullptr, c.inserimento, sovrascrivi);
            },
            [&] {
                ++domande;
                return c.si;
            });
    }
    if (altroWs.InTransazione()) altroWs.Rollback();
    EXPECT_EQ(esito.tipo, c.atteso);
    EXPECT_EQ(esito.causa.numero, c.bloccato ? motore::ErrBloccato : 0);
    EXPECT_EQ(domande, c.domande);
    EXPECT_EQ(amb.Leggi("SELECT rtrim(coalesce(LocPrefisso, '')) || '|' || rtrim(LocProvincia) "
                        "FROM LOCALITA WHERE LocLocalita = 'PROVA'",
                        true),
              c.riga);
    EXPECT_TRUE(g.Messaggi.Mostrati().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Motori, SalvataggioLocalitaTest,
    ::testing::Combine(::testing::ValuesIn(MotoriDiProva()), ::testing::ValuesIn(kLocalita)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == Motore::File ? "File_" : "Server_") +
               std::get<1>(info.param).nome;
    });

}  // namespace
