// The client form's look, keys and focus, and how it fills and empties.

#include "app/CasellaTesto.h"
#include "clients/GesCliC.h"
#include "ui/Global.h"

#include "support/ModuloClientiTest.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

class GesCliCTest : public ModuloClientiTest {};
SU_OGNI_MOTORE(GesCliCTest);

TEST_P(GesCliCTest, AspettoDelModulo) {
    Avvia();
    for (int i = 0; i < 18; ++i) {
        EXPECT_TRUE(QFontInfo(Txt(i)->font()).fixedPitch()) << "never a proportional font";
        EXPECT_TRUE(Txt(i)->text().isEmpty());
    }
    EXPECT_TRUE(form->CmdI(2)->isHidden()) << "ELIMINA only with a stored client";
    EXPECT_FALSE(form->CmdI(3)->isHidden());
    for (const char* e : {"Codice", "C.Fisc./P.I.", "-", "Rag. Sociale", "Indirizzo", "CAP-ZIP",
                          "Localita'", "Provincia", "Telefono", "Cod. Contabile", "Categoria",
                          "Acronimo", "Esenzione: n.", "del "}) {
        QLabel* l = form->Etichetta(e);
        ASSERT_NE(l, nullptr) << e;
        EXPECT_GE(l->width(), l->fontMetrics().horizontalAdvance(l->text())) << "clipped: " << e;
    }
    EXPECT_EQ(CampoConFuoco(), 0);
}

// What typing does: the code takes digits only and its fifth one moves on; letters become
// capitals; a field stops at its length, and a full one moves on (the year's Enter is a Tab;
// the province's: ManutenzioneTest.NuovoClienteDallaTastiera).
TEST_P(GesCliCTest, ScritturaNeiCampi) {
    Avvia();
    Scrivi("a1-b2");
    EXPECT_EQ(Txt(0)->text(), "12") << "the code field takes digits only";
    g.Messaggi.Copione({Risposta::Si});
    Scrivi("345");
    EXPECT_EQ(CampoConFuoco(), 1);
    EXPECT_EQ(g.Messaggi.Mostrati().back().testo, "CODICE  12345  INESISTENTE: LO VUOI INSERIRE");
    EXPECT_EQ(form->CmdI(0)->text(), "&INSERISCI");
    VaiAlCampo(4);
    Scrivi("rossi & c. snc");
    EXPECT_EQ(Txt(4)->text(), "ROSSI & C. SNC");
    Scrivi(QString(40, 'x'));
    EXPECT_EQ(Txt(4)->text().size(), 35) << "typing stops at the field's length";
    Premi(Qt::Key_Home);
    Premi(Qt::Key_Up);  // from 1 back round to 17
    Scrivi("2001");
    EXPECT_EQ(CampoConFuoco(), 1) << "the full year field sends Enter, which is a Tab there";
}

TEST_P(GesCliCTest, InvioEFrecceCamminanoTraICampi) {
    Avvia();
    Premi(Qt::Key_Home);
    EXPECT_EQ(CampoConFuoco(), 1);
    EXPECT_EQ(form->CampoCorrente, 1);
    VaiAlCampo(4);
    Scrivi("ROSSI");
    Premi(Qt::Key_Home);
    for (int atteso = 2; atteso <= 17; ++atteso) {
        Premi(Qt::Key_Return);
        EXPECT_EQ(CampoConFuoco(), atteso);
    }
    Premi(Qt::Key_Down);
    EXPECT_EQ(CampoConFuoco(), 1) << "Down in field 17 wraps to field 1";
    Premi(Qt::Key_Up);
    EXPECT_EQ(CampoConFuoco(), 17) << "Up in field 1 wraps to field 17";
    // Enter in the last field is a Tab: on along the tab order, which wraps to the top
    // (field 0 is disabled while a client is on the form).
    Premi(Qt::Key_Return);
    EXPECT_EQ(CampoConFuoco(), 1);
}

TEST_P(GesCliCTest, CtrlRRipristinaIlTestoDiEntrata) {
    Avvia();
    NuovoCliente();
    VaiAlCampo(6);
    Scrivi("VIA ROMA 1");
    Premi(Qt::Key_Down);
    Premi(Qt::Key_Up);
    EXPECT_EQ(g.TestoIniziale, "VIA ROMA 1");
    Scrivi("VIA MILANO 2");
    EXPECT_EQ(Txt(6)->text(), "VIA MILANO 2");
    Premi(Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(Txt(6)->text(), "VIA ROMA 1");
    EXPECT_EQ(Txt(6)->selectedText(), "VIA ROMA 1");
}

TEST_P(GesCliCTest, RiempireIlModuloNonSpostaIlFuoco) {
    Avvia();
    VaiAlCampo(3);
    ClientRecord& r = g.ClientRecord;
    r.CliCodice = 42;
    r.CliRagsoc = QString("ROSSI SPA");
    r.CliProvincia = QString("MI");
    r.CliCodiceFiscale = QString("RSSMRA85T10A562S");  // fills its field exactly
    r.CliEsenzioneDat = 0;
    form->ModoMaschera = 2;
    form->RiempiMaschera();
    Attendi();
    EXPECT_EQ(CampoConFuoco(), 3);
    EXPECT_EQ(Txt(0)->text(), "42");
    EXPECT_EQ(Txt(4)->text(), "ROSSI SPA");
    for (int i : {15, 16, 17}) EXPECT_EQ(Txt(i)->text(), " ");
    EXPECT_FALSE(form->CmdI(2)->isHidden());

    form->ModoMaschera = 1;
    form->RiempiMaschera();
    EXPECT_TRUE(form->CmdI(2)->isHidden());
    form->AzzeraMaschera();
    Attendi();
    EXPECT_TRUE(Txt(4)->text().isEmpty());
    EXPECT_EQ(g.ClientRecord.CliCodice, 0);
}

// F2 on the client form leaves through USCITA and closes the tables (Ctrl+F8:
// TastiComuniTest).
TEST_P(GesCliCTest, F2ChiudeLeTabelle) {
    Avvia();
    VaiAlCampo(4);
    Premi(Qt::Key_F2);
    QTest::qWait(300);  // an access key animates the button before it clicks
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(g.ClientsTableOpen) << "closing the form closes the tables";
    EXPECT_EQ(g.EnvironmentSettings.CompanyDatabase, nullptr);
}

TEST_P(GesCliCTest, ClienteIniziale) {
    amb.AggiungiCliente(123, "BIANCHI SRL");
    Avvia("E 123");
    EXPECT_EQ(form->StartClientCode, 123);
    EXPECT_EQ(Txt(0)->text(), "123");
    EXPECT_EQ(Txt(4)->text(), "BIANCHI SRL") << "the start client is on the form at once";
    EXPECT_EQ(form->ModoMaschera, 2);
    EXPECT_EQ(CampoConFuoco(), 1);
    EXPECT_TRUE(g.Messaggi.Mostrati().empty());
    EXPECT_TRUE(form->CmdI(3)->isHidden()) << "no ANNULLA when started for one client";
    EXPECT_FALSE(Txt(0)->isEnabled());
    VaiAlCampo(6);
    Scrivi("VIA ROMA 2");
    Clicca(0);
    EXPECT_FALSE(form->isVisible()) << "the program ends after the save";
    EXPECT_EQ(Leggi("SELECT trim(CliIndirizzo) FROM Clienti WHERE CliCodice = 123"), "VIA ROMA 2");
}

}  // namespace
