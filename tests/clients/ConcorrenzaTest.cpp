// Two operators on one client, the other one a second connection: what it did between the
// read and the save is asked about, in the words and buttons the operator gets. (The same
// with real programs side by side: OperatoriTest.)

#include "support/ModuloClientiTest.h"

namespace {

class ConcorrenzaTest : public ModuloClientiTest {
  protected:
    void SetUp() override {
        amb.AggiungiCliente(5, "QUINTO");
        Avvia();
        Scrivi("5");
        Premi(Qt::Key_Return);
        ASSERT_EQ(form->ModoMaschera, 2);
        altroDb = amb.ApriDitta(altroWs);
    }
    // The other operator's write, committed at once.
    void Altro(const QString& sql) { altroDb->Esegui(sql); }
    void CambiaTelefono(const QString& telefono) {
        VaiAlCampo(10);
        Scrivi(telefono);
    }

    motore::Workspace altroWs{amb.Server()};
    std::unique_ptr<motore::Database> altroDb;
};
SU_OGNI_MOTORE(ConcorrenzaTest);

TEST_P(ConcorrenzaTest, UnaModificaAltruiSiChiedePrimaDiSovrascriverla) {
    CambiaTelefono("0612345");
    Altro("UPDATE Clienti SET CliIndirizzo = 'VIA DELL''ALTRO 2' WHERE CliCodice = 5");
    g.Messaggi.Copione({Risposta::No});
    Clicca(0);
    ASSERT_EQ(Testi(),
              std::vector<QString>{"CLIENTE MODIFICATO DA UN ALTRO UTENTE: SOVRASCRIVO ?"});
    const Messaggio& d = g.Messaggi.Mostrati().back();
    EXPECT_EQ(d.pulsanti, Pulsanti::SiNo);
    EXPECT_EQ(d.icona, Icona::Domanda);
    EXPECT_EQ(d.predefinito, 1) << "No is the default";
    EXPECT_TRUE(d.titolo.isEmpty());
    // No: the client as stored, in change mode; nothing written.
    EXPECT_EQ(form->ModoMaschera, 2);
    EXPECT_EQ(Txt(6)->text(), "VIA DELL'ALTRO 2");
    EXPECT_EQ(Txt(10)->text(), "");
    EXPECT_EQ(Leggi("SELECT CliIndirizzo || '|' || coalesce(CliTelefono, 'NULL') FROM Clienti"),
              "VIA DELL'ALTRO 2|NULL");

    // Read again, it saves without a question.
    CambiaTelefono("0612345");
    g.Messaggi.AzzeraMostrati();
    Clicca(0);
    EXPECT_TRUE(Testi().empty());
    EXPECT_EQ(Leggi("SELECT trim(CliIndirizzo) || '|' || trim(CliTelefono) FROM Clienti"),
              "VIA DELL'ALTRO 2|0612345");
    EXPECT_EQ(form->ModoMaschera, 0);
}

// Answered No after the other operator deleted the client meanwhile: said, and emptied.
TEST_P(ConcorrenzaTest, NoSuUnClienteCancellatoNelFrattempo) {
    CambiaTelefono("0612345");
    Altro("UPDATE Clienti SET CliIndirizzo = 'PRIMA' WHERE CliCodice = 5");
    g.Messaggi.MentreAperto = [&](const Messaggio& m) {
        if (m.pulsanti == Pulsanti::SiNo) Altro("DELETE FROM Clienti WHERE CliCodice = 5");
    };
    g.Messaggi.Copione({Risposta::No});
    Clicca(0);
    ASSERT_EQ(Testi().size(), 2u);
    EXPECT_EQ(Testi()[1], "CLIENTE CANCELLATO DA UN ALTRO UTENTE");
    EXPECT_EQ(Clienti(), 0);
    EXPECT_EQ(form->ModoMaschera, 0);
}

}  // namespace
