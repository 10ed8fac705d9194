#include "data/Clienti.h"
#include "ui/Global.h"

#include "support/AmbienteProva.h"

#include <gtest/gtest.h>

namespace {

class ClientiTest : public ::testing::TestWithParam<Motore> {
  protected:
    void SetUp() override {
        amb.ApriDatabase(g);
        auto& env = g.EnvironmentSettings;
        env.CompanyDatabase->Esegui(
            "INSERT INTO Clienti VALUES (17, 'ROSSI SPA', NULL, ?1, 'MILANO', '20121    ', "
            "'MI ', 'IT ', '01234567890 ', '                ', 'A1  ', '02 1234567    ', "
            "'C00000017', 'ROSSI SPA           ', '            ', 36892)",
            // A file takes a value longer than its column; a server refuses it.
            {QString(amb.SulServer() ? 35 : 40, 'V')});
        env.CompanyDatabase->Esegui(
            "INSERT INTO Clienti (CliCodice, CliRagsoc, CliEsenzioneDat) VALUES (18, NULL, NULL)");
    }

    AmbienteProva amb{GetParam()};
    Global g;
};
SU_OGNI_MOTORE(ClientiTest);

TEST_P(ClientiTest, LeggeUnClienteColonnaPerColonna) {
    EXPECT_FALSE(LeggiCliente(g, 17));  // the table is not open yet: reading opens it
    EXPECT_TRUE(g.ClientsTableOpen);
    const ClientRecord& r = g.ClientRecord;
    EXPECT_EQ(r.CliCodice, 17);
    EXPECT_EQ(r.CliRagsoc.str(), QString("ROSSI SPA").leftJustified(35));
    EXPECT_EQ(r.CliRagsocEstesa.str(), QString(35, ' ')) << "null reads as blanks";
    EXPECT_EQ(r.CliIndirizzo.str(), QString(35, 'V')) << "a longer value is cut to the field";
    EXPECT_EQ(r.CliProvincia.str(), "MI ");
    EXPECT_EQ(r.CliEsenzioneDat, 36892);
    EXPECT_TRUE(g.Messaggi.Mostrati().empty());

    LeggiCliente(g, 18);
    EXPECT_EQ(g.ClientRecord.CliCodice, 18);
    EXPECT_EQ(g.ClientRecord.CliRagsoc.str(), QString(35, ' '));
    EXPECT_EQ(g.ClientRecord.CliEsenzioneDat, 0);

    LeggiCliente(g, 99);
    EXPECT_EQ(g.ClientRecord.CliCodice, 0);
    EXPECT_EQ(g.ClientRecord.CliIndirizzo.str(), QString(35, ' '));
    EXPECT_TRUE(g.Messaggi.Mostrati().empty());
}

TEST_P(ClientiTest, LaTabellaRestaSulClienteLetto) {
    LeggiCliente(g, 17);
    g.ClientsTable->Delete();
    LeggiCliente(g, 17);
    EXPECT_EQ(g.ClientRecord.CliCodice, 0);
    LeggiCliente(g, 18);
    EXPECT_EQ(g.ClientRecord.CliCodice, 18);
}

// A read that fails half-way never leaves half a client: the record is cleared and the
// engine's cause comes back for the operator.
TEST_P(ClientiTest, UnaLetturaFallitaPulisceIlRecord) {
    auto& db = *g.EnvironmentSettings.CompanyDatabase;
    db.Esegui("ALTER TABLE Clienti DROP COLUMN CliTelefono");
    g.ClientRecord.CliTelefono = QString("VECCHIO");
    const Guasto guasto = LeggiCliente(g, 17);
    ASSERT_TRUE(guasto);
    EXPECT_TRUE(guasto->Spiegazione().startsWith("Errore n. 3265: "));
    EXPECT_TRUE(guasto->descrizione.contains("CliTelefono"));
    EXPECT_EQ(g.ClientRecord.CliCodice, 0);
    EXPECT_EQ(g.ClientRecord.CliNazione.str(), "   ");
    EXPECT_EQ(g.ClientRecord.CliTelefono.str(), QString(14, ' '));
    EXPECT_FALSE(LeggiCliente(g, 99)) << "a missing client is no failure";
    EXPECT_TRUE(g.Messaggi.Mostrati().empty());
}

TEST_P(ClientiTest, ChiusuraEPulizia) {
    ASSERT_FALSE(ApriClienti(g));
    ASSERT_TRUE(g.ClientsTableOpen);
    ChiudiClienti(g);
    EXPECT_FALSE(g.ClientsTableOpen);
    ChiudiClienti(g);  // twice is harmless
    g.EnvironmentSettings.CompanyDatabase.reset();
    const Guasto guasto = ApriClienti(g);
    ASSERT_TRUE(guasto);
    EXPECT_EQ(guasto->numero, motore::ErrGenerico);
    EXPECT_FALSE(g.ClientsTableOpen);
    g.ClientRecord.CliCodice = 5;
    EXPECT_EQ(LeggiCliente(g, 17)->descrizione, guasto->descrizione) << "why it cannot open";
    EXPECT_EQ(g.ClientRecord.CliCodice, 0) << "no client left from before";
}

}  // namespace
