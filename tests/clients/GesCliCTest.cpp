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
    // clang-format off
    Passi({
        {.scrivi = "a1-b2", .campi = {{0, "12"}}},  // the code field takes digits only
        {.risposta = Risposta::Si, .scrivi = "345",
         .messaggio = "CODICE  12345  INESISTENTE: LO VUOI INSERIRE", .fuoco = 1},
        {.vai = 4, .scrivi = "rossi & c. snc", .campi = {{4, "ROSSI & C. SNC"}}},
        // Typing stops at the field's length.
        {.scrivi = QString(40, 'x'), .campi = {{4, "ROSSI & C. SNC" + QString(21, 'X')}}},
        {.tasto = Qt::Key_Home},
        {.tasto = Qt::Key_Up},  // from 1 back round to 17
        // The full year field sends Enter, which is a Tab there.
        {.scrivi = "2001", .fuoco = 1},
    });
    // clang-format on
    EXPECT_EQ(form->CmdI(0)->text(), "&INSERISCI");
}

TEST_P(GesCliCTest, InvioEFrecceCamminanoTraICampi) {
    Avvia();
    Passi({{.tasto = Qt::Key_Home, .fuoco = 1}});
    EXPECT_EQ(form->CampoCorrente, 1);
    std::vector<Passo> giro = {{.vai = 4, .scrivi = "ROSSI"}, {.tasto = Qt::Key_Home}};
    for (int campo = 2; campo <= 17; ++campo)
        giro.push_back({.tasto = Qt::Key_Return, .fuoco = campo});
    giro.push_back({.tasto = Qt::Key_Down, .fuoco = 1});  // wraps from 17 to 1
    giro.push_back({.tasto = Qt::Key_Up, .fuoco = 17});   // and back
    // Enter in the last field is a Tab: on along the tab order, which wraps to the top
    // (field 0 is disabled while a client is on the form).
    giro.push_back({.tasto = Qt::Key_Return, .fuoco = 1});
    Passi(giro);
}

TEST_P(GesCliCTest, CtrlRRipristinaIlTestoDiEntrata) {
    Avvia();
    NuovoCliente();
    Passi({{.tasto = Qt::Key_Home},
           {.vai = 6, .scrivi = "VIA ROMA 1", .tasto = Qt::Key_Down},
           {.tasto = Qt::Key_Up}});
    EXPECT_EQ(g.TestoIniziale, "VIA ROMA 1");
    Passi({{.scrivi = "VIA MILANO 2", .campi = {{6, "VIA MILANO 2"}}},
           {.tasto = Qt::Key_R, .con = Qt::ControlModifier, .campi = {{6, "VIA ROMA 1"}}}});
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
    amb.AggiungiCliente(12345, "BIANCHI SRL");
    Avvia("E 12345");
    EXPECT_EQ(form->StartClientCode, 12345);
    EXPECT_EQ(Txt(0)->text(), "12345");
    EXPECT_EQ(Txt(4)->text(), "BIANCHI SRL") << "the start client is on the form at once";
    EXPECT_EQ(form->ModoMaschera, 2);
    EXPECT_EQ(CampoConFuoco(), 1);
    EXPECT_TRUE(g.Messaggi.Mostrati().empty());
    EXPECT_TRUE(form->CmdI(3)->isHidden()) << "no ANNULLA when started for one client";
    EXPECT_FALSE(Txt(0)->isEnabled());
    // Deleted meanwhile: said once; the five digits put back do not enter themselves.
    ASSERT_EQ(AltroProgramma("DELETE FROM Clienti WHERE CliCodice = 12345"), 0);
    Clicca(0);
    EXPECT_EQ(Testi(), std::vector<QString>{"CLIENTE CANCELLATO DA UN ALTRO UTENTE"});
    EXPECT_EQ(Txt(0)->text(), "12345");
    EXPECT_EQ(form->ModoMaschera, 0);
    // Entered by the operator: asked once; the save ends the program.
    g.Messaggi.AzzeraMostrati();
    g.Messaggi.Copione({Risposta::Si});
    Premi(Qt::Key_Return);
    EXPECT_EQ(Testi(), std::vector<QString>{"CODICE  12345  INESISTENTE: LO VUOI INSERIRE"});
    VaiAlCampo(4);
    Scrivi("BIANCHI SRL");
    VaiAlCampo(6);
    Scrivi("VIA ROMA 2");
    Clicca(0);
    EXPECT_FALSE(form->isVisible()) << "the program ends after the save";
    EXPECT_EQ(Leggi("SELECT trim(CliIndirizzo) FROM Clienti WHERE CliCodice = 12345"),
              "VIA ROMA 2");
}

// A start code that names no client is asked about once, as a typed one.
TEST_P(GesCliCTest, ClienteInizialeInesistente) {
    g.Messaggi.Copione({Risposta::Si});
    Avvia("E 55");
    Attendi();
    EXPECT_EQ(Testi(), std::vector<QString>{"CODICE  55  INESISTENTE: LO VUOI INSERIRE"});
    EXPECT_EQ(form->ModoMaschera, 1);
    EXPECT_EQ(g.ClientRecord.CliCodice, 55);
    EXPECT_FALSE(Txt(0)->isEnabled());
    EXPECT_EQ(CampoConFuoco(), 1);
}

}  // namespace
