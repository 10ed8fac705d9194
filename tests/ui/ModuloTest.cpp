#include "ui/Global.h"
#include "ui/Modulo.h"
#include "ui/Tasti.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// A form of two text boxes and two buttons that writes down every event it gets.
class Prova : public Modulo {
  public:
    explicit Prova(Global& g, QWidget* parent = nullptr) : Modulo(g, parent) {
        setObjectName("Prova");
        SetCaption("PROVA");
        for (int i = 0; i < 2; ++i) {
            txt[i] = new QLineEdit(this);
            txt[i]->setGeometry(10, 10 + 30 * i, 100, 24);
            Eventi& ev = Su(txt[i], "Txt", i);
            const QString n = QString("Txt(%1)").arg(i);
            ev.GotFocus = [this, n] { Annota("Got " + n); };
            ev.LostFocus = [this, n] {
                Annota("Lost " + n +
                       " fuoco:" + (focusWidget() ? focusWidget()->objectName() : ""));
                if (suLostFocus) std::exchange(suLostFocus, nullptr)();
            };
            ev.DblClick = [this, n] { Annota("DblClick " + n); };
        }
        const char* testi[] = {"&OK", "&USCITA"};
        for (int i = 0; i < 2; ++i) {
            cmd[i] = new QPushButton(testi[i], this);
            cmd[i]->setGeometry(10 + 110 * i, 80, 100, 24);
            Eventi& ev = Su(cmd[i], "Cmd", i);
            const QString n = QString("Cmd(%1)").arg(i);
            ev.MouseDown = [this, n] { Annota("MouseDown " + n); };
            ev.SoloSeCampiValidi = i == 0;
            ev.Click = [this, n, i] {
                Annota("Click " + n);
                if (i == 1) Scarica();
            };
        }
        resize(300, 120);
    }

    using Modulo::CampoErrato;
    void Annota(const QString& s) { eventi.push_back(s); }
    std::vector<QString> Dopo(size_t da) const { return {eventi.begin() + long(da), eventi.end()}; }

    QLineEdit* txt[2];
    QPushButton* cmd[2];
    std::vector<QString> eventi;
    std::function<void()> suLostFocus;
    std::function<void(int&, int)> suKeyDown;
    std::function<void(int&)> suKeyPress;

  protected:
    void Form_Load() override { Annota("Load"); }
    void Form_Activate() override { Annota("Activate"); }
    void Form_Unload() override { Annota("Unload"); }
    void Form_KeyDown(int& codice, int shift) override {
        Annota(QString("KeyDown %1").arg(codice));
        if (suKeyDown) suKeyDown(codice, shift);
    }
    void Form_KeyPress(int& carattere) override {
        if (suKeyPress) suKeyPress(carattere);
    }
    void TastoRapido(QAbstractButton* b) override { Annota("TastoRapido " + b->objectName()); }
};

class ModuloTest : public ::testing::Test {
  protected:
    void Mostra() {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        QTest::qWait(30);
    }
    static void Attendi() { QTest::qWait(30); }

    Global g;
    std::unique_ptr<Prova> form = std::make_unique<Prova>(g);
};

TEST_F(ModuloTest, CaricaMostraScarica) {
    EXPECT_TRUE(form->Carica());
    EXPECT_TRUE(form->Carica());
    EXPECT_FALSE(form->isVisible()) << "loading does not show";
    Mostra();
    EXPECT_EQ(form->eventi, (std::vector<QString>{"Load", "Activate", "Got Txt(0)"}));

    // A modal child: the call returns once it has unloaded, and the owner is activated again.
    Prova figlio(g, form.get());
    QTimer::singleShot(100, &figlio, [&] { figlio.cmd[1]->click(); });
    const size_t prima = form->eventi.size();
    figlio.MostraModale();
    EXPECT_EQ(figlio.eventi.front(), "Load");
    EXPECT_EQ(figlio.eventi.back(), "Unload");
    EXPECT_FALSE(figlio.isVisible());
    figlio.Scarica();
    EXPECT_EQ(std::count(figlio.eventi.begin(), figlio.eventi.end(), "Unload"), 1);
    Attendi();
    EXPECT_EQ(form->Dopo(prima), (std::vector<QString>{"Activate"}))
        << "the focus coming back from the child is not the operator entering the field";
    EXPECT_EQ(QApplication::focusWidget(), form->txt[0]);

    form->close();
    EXPECT_EQ(form->eventi.back(), "Unload");
    EXPECT_TRUE(form->Scaricato());
}

TEST_F(ModuloTest, LaFormaVedeITastiPrima) {
    Mostra();
    form->suKeyDown = [](int& codice, int) {
        if (codice == 'Q') codice = 0;
    };
    form->suKeyPress = [](int& c) {
        if (c == 'x' || c == ' ') c = 0;
        if (c >= 'a' && c <= 'z') c -= 32;
    };
    QTest::keyClicks(form->txt[0], "ab xq");
    EXPECT_EQ(form->txt[0]->text(), "AB") << "x and the blank swallowed by KeyPress, q by KeyDown";
    // A focused button takes Space and Enter as buttons do, whatever the filter makes of the
    // blank and the form of Enter; Enter held down presses once, Ctrl+Enter is the form's.
    form->cmd[0]->setFocus();
    Attendi();
    struct Caso {
        Qt::Key tasto;
        Qt::KeyboardModifiers modificatori;
        bool ripetuto;
        std::vector<QString> atteso;
    };
    const Caso casi[] = {
        {Qt::Key_Space, {}, false, {"KeyDown 32", "Click Cmd(0)"}},
        {Qt::Key_Return, {}, false, {"Click Cmd(0)"}},
        {Qt::Key_Enter, Qt::KeypadModifier, false, {"Click Cmd(0)"}},
        {Qt::Key_Return, {}, true, {}},
        {Qt::Key_Return, Qt::ControlModifier, false, {"KeyDown 13"}},
    };
    for (const Caso& c : casi) {
        const size_t prima = form->eventi.size();
        QKeyEvent giu(QEvent::KeyPress, c.tasto, c.modificatori,
                      c.tasto == Qt::Key_Space ? " " : "\r", c.ripetuto);
        QApplication::sendEvent(form->cmd[0], &giu);
        QKeyEvent su(QEvent::KeyRelease, c.tasto, c.modificatori,
                     c.tasto == Qt::Key_Space ? " " : "\r", c.ripetuto);
        QApplication::sendEvent(form->cmd[0], &su);
        EXPECT_EQ(form->Dopo(prima), c.atteso) << c.tasto << " " << c.ripetuto;
    }
    form->txt[0]->setFocus();
    Attendi();
    const size_t prima = form->eventi.size();
    QTest::keyClick(form->txt[0], Qt::Key_Tab);
    Attendi();
    EXPECT_EQ(form->Dopo(prima), (std::vector<QString>{"Lost Txt(0) fuoco:Txt(1)", "Got Txt(1)"}))
        << "Tab goes to the focus chain unseen; the leave handler runs once the focus moved";

    // F2 leaves through the form's USCITA, by its access key, like a typed Alt+U.
    QTest::keyClick(form->txt[1], Qt::Key_F2, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Scaricato(); }, 2000));
    const auto ev = form->eventi;
    EXPECT_EQ(std::count(ev.begin(), ev.end(), "KeyDown 113"), 0) << "the common keys come first";
    const auto tasto = std::find(ev.begin(), ev.end(), "TastoRapido Cmd(1)");
    const auto uscita = std::find(ev.begin(), ev.end(), "Lost Txt(1) fuoco:Cmd(1)");
    const auto click = std::find(ev.begin(), ev.end(), "Click Cmd(1)");
    ASSERT_NE(click, ev.end());
    EXPECT_LT(tasto, uscita);
    EXPECT_LT(uscita, click) << "the field is left before the button acts";
}

TEST_F(ModuloTest, MouseEFinestreAperteDalControllo) {
    Mostra();
    size_t prima = form->eventi.size();
    QTest::mouseClick(form->cmd[0], Qt::LeftButton);
    Attendi();
    const auto ev = form->Dopo(prima);
    ASSERT_GE(ev.size(), 2u);
    EXPECT_EQ(ev[0], "MouseDown Cmd(0)");
    EXPECT_EQ(ev[1], "Lost Txt(0) fuoco:Cmd(0)");
    EXPECT_EQ(ev.back(), "Click Cmd(0)");

    QTest::mouseDClick(form->txt[1], Qt::LeftButton);
    Attendi();
    EXPECT_EQ(std::count(form->eventi.begin(), form->eventi.end(), "DblClick Txt(1)"), 1);

    // A window opened by a leave handler: its own focus moves are not the operator's.
    form->txt[0]->setFocus();
    Attendi();
    auto figlio = std::make_unique<Prova>(g, form.get());
    form->suLostFocus = [&] {
        QTimer::singleShot(100, figlio.get(), [&] { figlio->cmd[1]->click(); });
        figlio->MostraModale();
    };
    prima = form->eventi.size();
    QTest::keyClick(form->txt[0], Qt::Key_Tab);
    Attendi();
    Attendi();
    EXPECT_EQ(form->Dopo(prima),
              (std::vector<QString>{"Lost Txt(0) fuoco:Txt(1)", "Got Txt(1)", "Activate"}));
    EXPECT_EQ(QApplication::focusWidget(), form->txt[1]);

    // A key that arrives before the window is active again (a dialog has just closed) moves
    // the focus on: the field is left and the next entered at once, not at the activation.
    QWidget altra;
    altra.show();
    altra.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&altra));
    prima = form->eventi.size();
    form->txt[0]->setFocus();
    Attendi();
    EXPECT_EQ(form->Dopo(prima), (std::vector<QString>{"Lost Txt(1) fuoco:Txt(0)", "Got Txt(0)"}));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    Attendi();
    EXPECT_EQ(form->Dopo(prima).size(), 2u) << "the activation enters nothing again";

    // An access key pressed in a field whose leave handler waits for the operator: the
    // button acts once the handler is over, not while its window is open.
    auto terzo = std::make_unique<Prova>(g, form.get());
    form->suLostFocus = [&] {
        QTimer::singleShot(400, terzo.get(), [&] { terzo->cmd[1]->click(); });
        terzo->MostraModale();
        form->Annota("Lasciato");
    };
    prima = form->eventi.size();
    QTest::keyClick(form->txt[0], Qt::Key_O, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !form->eventi.empty() && form->eventi.back() == "Click Cmd(0)"; }, 3000));
    const auto tasto = form->Dopo(prima);
    const auto lasciato = std::find(tasto.begin(), tasto.end(), "Lasciato");
    EXPECT_LT(lasciato, std::find(tasto.begin(), tasto.end(), "Click Cmd(0)"));
    EXPECT_EQ(std::count(tasto.begin(), tasto.end(), "Click Cmd(0)"), 1);

    // The same key when the field fails its check: OK acts on the fields, so it does not
    // act; the mouse, which skips the check, still presses it.
    auto quarto = std::make_unique<Prova>(g, form.get());
    form->suLostFocus = [&] {
        QTimer::singleShot(200, quarto.get(), [&] { quarto->cmd[1]->click(); });
        quarto->MostraModale();
        form->CampoErrato();
        form->txt[0]->setFocus();
    };
    form->txt[0]->setFocus();
    Attendi();
    prima = form->eventi.size();
    QTest::keyClick(form->txt[0], Qt::Key_O, Qt::AltModifier);
    QTest::qWait(600);
    EXPECT_EQ(std::count(form->eventi.begin() + long(prima), form->eventi.end(), "Click Cmd(0)"),
              0);
    QTest::mouseClick(form->cmd[0], Qt::LeftButton);
    Attendi();
    EXPECT_EQ(form->eventi.back(), "Click Cmd(0)");
}

}  // namespace
