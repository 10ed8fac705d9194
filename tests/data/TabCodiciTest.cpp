#include "data/TabCodici.h"
#include "ui/Global.h"

#include "support/AmbienteProva.h"

#include <gtest/gtest.h>

namespace {

class TabCodiciTest : public ::testing::TestWithParam<Motore> {
  protected:
    void SetUp() override {
        amb.ApriDatabase(g);
        auto& db = *g.EnvironmentSettings.CodeTablesDatabase;
        db.Esegui("INSERT INTO PROVINCIE VALUES ('CO', NULL)");
        g.TableName = "PROVINCIE";
    }

    const std::vector<Messaggio>& Mostrati() const { return g.Messaggi.Mostrati(); }

    AmbienteProva amb{GetParam()};
    Global g;
};
SU_OGNI_MOTORE(TabCodiciTest);

TEST_P(TabCodiciTest, CodiceMancante) {
    g.FieldErrorNumber = 7;
    g.SoughtCode = "MI ";
    EXPECT_FALSE(CodiceMancante(g, true));
    EXPECT_EQ(g.FoundCode, "MI");
    EXPECT_EQ(g.FoundDescription, "MILANO");
    EXPECT_EQ(g.CurrentCodeTableKind, 0) << "the table is closed after the check";
    EXPECT_FALSE(g.CurrentCodeTable);

    g.SoughtCode = "CO";
    EXPECT_FALSE(CodiceMancante(g, true));
    EXPECT_EQ(g.FoundDescription, "");

    g.SoughtCode = "XX";
    EXPECT_TRUE(CodiceMancante(g, false));
    EXPECT_EQ(g.FoundCode, "");

    g.FoundCode = "RM";
    g.SoughtCode = "  ";
    EXPECT_TRUE(CodiceMancante(g, true));
    EXPECT_EQ(g.FoundCode, "");
    g.TableName = "XYZ";  // a blank code must not even open the table
    EXPECT_FALSE(CodiceMancante(g, false));
    EXPECT_TRUE(Mostrati().empty());
    EXPECT_EQ(g.FieldErrorNumber, 7);
}

TEST_P(TabCodiciTest, LaTabellaCorrenteRestaFinoAllaChiusura) {
    ApriTabCodici(g);
    ASSERT_EQ(g.CurrentCodeTableKind, 1);
    motore::Recordset* aperta = g.CurrentCodeTable.get();
    g.TableName = "NAZIONI";
    ApriTabCodici(g);
    EXPECT_EQ(g.CurrentCodeTable.get(), aperta);
    LeggiCodice(g, "RM");
    EXPECT_EQ(g.FoundDescription, "ROMA");

    QString nazione = "380";
    EXPECT_EQ(CodiceIsoNazione(g, nazione), "IT");
    EXPECT_EQ(g.CurrentCodeTable.get(), aperta) << "the nation lookup uses its own recordset";

    ChiudiTabCodici(g);
    EXPECT_EQ(g.CurrentCodeTableKind, 0);
    ChiudiTabCodici(g);
    LeggiCodice(g, "380");
    EXPECT_EQ(g.FoundDescription, "ITALIA");
}

TEST_P(TabCodiciTest, ErroriDiApertura) {
    g.TableName = "XYZ";
    g.Messaggi.Copione({Risposta::Riprova, Risposta::Annulla});
    ApriTabCodici(g);
    ASSERT_EQ(Mostrati().size(), 2u);
    EXPECT_TRUE(Mostrati()[0].testo.startsWith("3078: ")) << Mostrati()[0].testo.toStdString();
    EXPECT_EQ(Mostrati()[1].titolo, "ERRORE IN APERTURA TABELLA XYZ");
    EXPECT_EQ(Mostrati()[1].pulsanti, Pulsanti::RiprovaAnnulla);
    EXPECT_EQ(Mostrati()[1].icona, Icona::Esclamazione);
    EXPECT_EQ(g.CurrentCodeTableKind, 0);
    EXPECT_FALSE(g.CurrentCodeTable);
    g.FoundCode = "MI";
    LeggiCodice(g, "MI");
    EXPECT_EQ(g.FoundCode, "");

    // A table without its index reads as an unknown code, not as an error.
    g.EnvironmentSettings.CodeTablesDatabase->Esegui(
        "CREATE TABLE SENZAINDICE (CODICE VARCHAR(2), Descrizione VARCHAR(40))");
    g.EnvironmentSettings.CodeTablesDatabase->Esegui("INSERT INTO SENZAINDICE VALUES ('A', 'B')");
    g.TableName = "SENZAINDICE";
    g.SoughtCode = "A";
    EXPECT_TRUE(CodiceMancante(g, false));

    g.EnvironmentSettings.CodeTablesDatabase.reset();
    g.Messaggi.AzzeraMostrati();
    g.TableName = "PROVINCIE";
    g.SoughtCode = "MI";
    EXPECT_TRUE(CodiceMancante(g, false));
    QString nazione = "IT";
    EXPECT_EQ(CodiceIsoNazione(g, nazione), "");
    ASSERT_EQ(Mostrati().size(), 2u);
    EXPECT_EQ(Mostrati()[0].titolo, "ERRORE IN APERTURA TABELLA PROVINCIE");
    EXPECT_EQ(Mostrati()[1].titolo, "ERRORE IN APERTURA TABELLA NAZIONI");
}

TEST_P(TabCodiciTest, CodiceIsoNazione) {
    QString nazione = "86";
    EXPECT_EQ(CodiceIsoNazione(g, nazione), "IO");
    EXPECT_EQ(nazione, "086");

    nazione = " IT ";
    EXPECT_EQ(CodiceIsoNazione(g, nazione), "IT");
    EXPECT_EQ(nazione, "IT");
    // ISO codes are typed in capitals and the comparison is exact.
    nazione = " it ";
    EXPECT_EQ(CodiceIsoNazione(g, nazione), "");
    EXPECT_EQ(nazione, "it");

    nazione = "999";
    EXPECT_EQ(CodiceIsoNazione(g, nazione), " ");
    nazione = "1";
    EXPECT_EQ(CodiceIsoNazione(g, nazione), "");
    EXPECT_EQ(nazione, "001");
    nazione = "+380";  // not all digits: an ISO code, and not filled
    EXPECT_EQ(CodiceIsoNazione(g, nazione), "");
    EXPECT_EQ(nazione, "+380");

    g.EnvironmentSettings.CodeTablesDatabase->Esegui("DROP TABLE NAZIONI");
    nazione = "   ";
    EXPECT_EQ(CodiceIsoNazione(g, nazione), "");
    EXPECT_EQ(nazione, "");
    EXPECT_TRUE(Mostrati().empty()) << "a blank nation reads nothing";
    nazione = "380";
    g.Messaggi.Copione({Risposta::Riprova, Risposta::Annulla});
    EXPECT_EQ(CodiceIsoNazione(g, nazione), "");
    ASSERT_EQ(Mostrati().size(), 2u);
    EXPECT_EQ(Mostrati()[1].titolo, "ERRORE IN APERTURA TABELLA NAZIONI");
    EXPECT_TRUE(Mostrati()[1].testo.startsWith("3078: "));
}

}  // namespace
