#include "data/TabCodici.h"
#include "ui/Global.h"
#include "ui/Riprova.h"

#include "support/AmbienteProva.h"

#include <gtest/gtest.h>

namespace {

class TabCodiciTest : public ::testing::TestWithParam<Motore> {
  protected:
    void SetUp() override {
        amb.ApriDatabase(g);
        auto& db = *g.EnvironmentSettings.CodeTablesDatabase;
        db.Esegui("INSERT INTO PROVINCIE VALUES ('CO', NULL)");
        // A table without its index reads as an unknown code, not as an error.
        db.Esegui("CREATE TABLE SENZAINDICE (CODICE VARCHAR(2), Descrizione VARCHAR(40))");
        db.Esegui("INSERT INTO SENZAINDICE VALUES ('A', 'B')");
    }

    // Counts the times a table that cannot be opened is offered again, and says no.
    Riprova Conta() {
        return [this](const Causa& c) {
            cause.push_back(c.numero);
            return false;
        };
    }

    AmbienteProva amb{GetParam()};
    Global g;
    std::vector<int> cause;
};
SU_OGNI_MOTORE(TabCodiciTest);

TEST_P(TabCodiciTest, CodiceMancante) {
    const struct {
        const char* tabella;
        const char* codice;
        bool biancoMancante, mancante;
        const char* descrizione;
    } casi[] = {
        {"PROVINCIE", "MI ", true, false, "MILANO"},
        {"PROVINCIE", "CO", true, false, ""},
        {"PROVINCIE", "XX", false, true, ""},
        {"PROVINCIE", "  ", true, true, ""},
        {"XYZ", "  ", false, false, ""},  // a blank code does not even open the table
        {"SENZAINDICE", "A", false, true, ""},
    };
    for (const auto& c : casi) {
        QString descrizione = "VECCHIA";
        EXPECT_EQ(CodiceMancante(g, c.tabella, c.codice, c.biancoMancante, Conta(), &descrizione),
                  c.mancante)
            << c.tabella << " " << c.codice;
        EXPECT_EQ(descrizione, c.descrizione) << c.codice;
    }
    EXPECT_TRUE(cause.empty());
}

// A table that cannot be opened is offered again for as long as the caller answers yes,
// and then misses every code. The question is the operator's: the engine's error with Retry
// and Cancel under the caller's title, the pending field error kept.
TEST_P(TabCodiciTest, ErroriDiApertura) {
    g.FieldErrorNumber = 7;
    g.Messaggi.Copione({Risposta::Riprova, Risposta::Annulla});
    EXPECT_TRUE(CodiceMancante(g, "XYZ", "MI", false,
                               RiprovaApertura(g, "ERRORE IN APERTURA TABELLA XYZ")));
    const auto& mostrati = g.Messaggi.Mostrati();
    ASSERT_EQ(mostrati.size(), 2u);
    EXPECT_TRUE(mostrati[0].testo.startsWith("3078: ")) << mostrati[0].testo.toStdString();
    EXPECT_EQ(mostrati[1].titolo, "ERRORE IN APERTURA TABELLA XYZ");
    EXPECT_EQ(mostrati[1].pulsanti, Pulsanti::RiprovaAnnulla);
    EXPECT_EQ(mostrati[1].icona, Icona::Esclamazione);
    EXPECT_EQ(g.FieldErrorNumber, 7);

    g.EnvironmentSettings.CodeTablesDatabase->Esegui("DROP TABLE NAZIONI");
    QString nazione = "   ";
    EXPECT_EQ(CodiceIsoNazione(g, nazione, Conta()), "");
    EXPECT_TRUE(cause.empty()) << "a blank nation reads nothing";
    nazione = "380";
    EXPECT_EQ(CodiceIsoNazione(g, nazione, Conta()), "");
    g.EnvironmentSettings.CodeTablesDatabase.reset();
    EXPECT_TRUE(CodiceMancante(g, "PROVINCIE", "MI", false, Conta()));
    EXPECT_EQ(cause, (std::vector<int>{motore::ErrTabellaMancante, motore::ErrGenerico}));
}

TEST_P(TabCodiciTest, CodiceIsoNazione) {
    const struct {
        const char* dato;
        const char* iso;
        const char* dopo;  // the caller's text, trimmed and zero-filled
    } casi[] = {
        {"86", "IO", "086"},  {" IT ", "IT", "IT"},
        {" it ", "", "it"},  // ISO codes are typed in capitals and compared exactly
        {"999", " ", "999"},  {"1", "", "001"},
        {"+380", "", "+380"},  // not all digits: an ISO code, and not filled
    };
    for (const auto& c : casi) {
        QString nazione = c.dato;
        EXPECT_EQ(CodiceIsoNazione(g, nazione, Conta()), c.iso) << c.dato;
        EXPECT_EQ(nazione, c.dopo);
    }
    EXPECT_TRUE(cause.empty());
}

}  // namespace
