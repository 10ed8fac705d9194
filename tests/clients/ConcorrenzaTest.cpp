// Two operators on one client: what the other did between the read and the save is never
// undone without a word, and no lock is held while a question waits.

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

TEST_P(ConcorrenzaTest, SiSovrascriveComeSempre) {
    CambiaTelefono("0612345");
    Altro("UPDATE Clienti SET CliIndirizzo = 'VIA DELL''ALTRO 2' WHERE CliCodice = 5");
    g.Messaggi.Copione({Risposta::Si});
    Clicca(0);
    EXPECT_EQ(Testi().size(), 1u);
    EXPECT_EQ(Leggi("SELECT trim(CliIndirizzo) || '|' || trim(CliTelefono) FROM Clienti"),
              "|0612345")
        << "the form as the operator left it";
    EXPECT_EQ(form->ModoMaschera, 0);
}

// While the question waits the other program writes freely: nothing of the save holds a
// lock. Its second change, after the question, is overwritten by Yes as asked.
TEST_P(ConcorrenzaTest, NessunBloccoMentreLaDomandaAspetta) {
    g.EnvironmentSettings.Workspace->ImpostaAttesaBlocco(100);
    altroWs.ImpostaAttesaBlocco(100);
    CambiaTelefono("0612345");
    Altro("UPDATE Clienti SET CliIndirizzo = 'PRIMA' WHERE CliCodice = 5");
    bool scritto = false;
    g.Messaggi.MentreAperto = [&](const Messaggio&) {
        Altro("UPDATE Clienti SET CliCategoria = 'B' WHERE CliCodice = 5");
        scritto = true;
    };
    g.Messaggi.Copione({Risposta::Si});
    Clicca(0);
    EXPECT_TRUE(scritto);
    EXPECT_EQ(Testi().size(), 1u) << "no lock error, for either program";
    EXPECT_EQ(Leggi("SELECT trim(CliTelefono) || '|' || trim(CliCategoria) FROM Clienti"),
              "0612345|");
}

TEST_P(ConcorrenzaTest, UnClienteCancellatoDaAltriNonRinasce) {
    CambiaTelefono("0612345");
    Altro("DELETE FROM Clienti WHERE CliCodice = 5");
    Clicca(0);
    ASSERT_EQ(Testi(), std::vector<QString>{"CLIENTE CANCELLATO DA UN ALTRO UTENTE"});
    EXPECT_EQ(g.Messaggi.Mostrati().back().pulsanti, Pulsanti::OK);
    EXPECT_TRUE(g.Messaggi.Mostrati().back().titolo.isEmpty());
    EXPECT_EQ(Clienti(), 0) << "a change never re-creates the client";
    EXPECT_EQ(form->ModoMaschera, 0);
    EXPECT_TRUE(Txt(4)->text().isEmpty());
    EXPECT_EQ(CampoConFuoco(), 0);
}

TEST_P(ConcorrenzaTest, EliminareUnClienteGiaCancellatoLoDice) {
    Altro("DELETE FROM Clienti WHERE CliCodice = 5");
    g.Messaggi.Copione({Risposta::Si});
    Clicca(2);
    ASSERT_EQ(Testi().size(), 2u);
    EXPECT_EQ(Testi()[1], "CLIENTE CANCELLATO DA UN ALTRO UTENTE");
    EXPECT_EQ(form->ModoMaschera, 0) << "not the state of a deletion of its own";
    EXPECT_TRUE(Txt(4)->text().isEmpty());
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
