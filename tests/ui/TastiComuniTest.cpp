// The shared function keys on the client form and the lookup dialog, by keystrokes.

#include "lookup/GesTab.h"
#include "support/ModuloClientiTest.h"

#include <QDir>

namespace {

class TastiComuniTest : public ModuloClientiTest {};
SU_OGNI_MOTORE(TastiComuniTest);

// Ctrl+F8 marks the caption with the form's name and puts back the caption it saved last,
// which all forms share; Ctrl+F5 on a form without a grid is swallowed.
TEST_P(TastiComuniTest, IlTitoloSalvatoEUnoPerTuttiIModuli) {
    Avvia();
    QDir().mkpath(amb.Radice() + "tmp");
    const QString titolo = form->Caption();
    Premi(Qt::Key_F5, Qt::ControlModifier);
    EXPECT_TRUE(Testi().empty());
    EXPECT_TRUE(QDir(amb.Radice() + "tmp").isEmpty()) << "no grid, nothing exported";

    Premi(Qt::Key_F8, Qt::ControlModifier);
    EXPECT_EQ(form->Caption(), "GesCliC !");
    EXPECT_EQ(Testi(), std::vector<QString>{amb.PercorsoDitta()})
        << "the client form shows its database as well";
    EXPECT_EQ(g.Messaggi.Mostrati()[0].icona, Icona::Nessuna);
    Premi(Qt::Key_F8, Qt::ControlModifier);
    EXPECT_EQ(form->Caption(), titolo);

    NuovoCliente();
    Avanza(9);
    Premi(Qt::Key_F8, Qt::ControlModifier);
    ASSERT_EQ(form->Caption(), "GesCliC !");
    NelModale<GesTab>([this](GesTab& d) {
        Premi(Qt::Key_F8, Qt::ControlModifier);
        EXPECT_EQ(d.Caption(), "GesTab !");
        Premi(Qt::Key_F2, Qt::ShiftModifier);  // F2 with any modifier leaves
    });
    Premi(Qt::Key_F4);
    EXPECT_TRUE(eseguito);
    EXPECT_EQ(CampoConFuoco(), 9) << "the dialog left through its USCITA";
    Premi(Qt::Key_F8, Qt::ControlModifier);
    EXPECT_EQ(form->Caption(), "(KESTOR)            RICERCA TABELLA:  PROVINCIE")
        << "the caption saved last is the dialog's";

    // A form without a border has no caption to mark.
    form->SetBorderStyle(0);
    const QString senzaBordo = form->Caption();
    Premi(Qt::Key_F8, Qt::ControlModifier);
    EXPECT_EQ(form->Caption(), senzaBordo);
}

}  // namespace
