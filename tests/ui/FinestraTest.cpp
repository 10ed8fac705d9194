#include "ui/Finestra.h"

#include "app/Profilo.h"
#include "app/Toolkit.h"
#include "support/AmbienteProva.h"
#include "ui/Global.h"
#include "ui/Modulo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRect>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include <pwd.h>
#include <unistd.h>

namespace {

// The search form as far as placement goes: sizable, 6000 x 4500 twips as designed.
class Scheda : public Modulo {
  public:
    explicit Scheda(Global& g) : Modulo(g) {
        setObjectName("ChkCliC");
        resize(400, 300);
    }
};

// A form lives on whole pixels (15 twips on the test screen, as on the offscreen one):
// the nearest it can get to a place or a size in twips.
int Px(int twips) {
    return int(std::lround(twips / 15.0)) * 15;
}

class Finestra : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        g.EnvironmentSettings.EnvironmentFile = ini;
        g.MisuraSchermo = [] { return toolkit::Schermo{20480, 15360, 15, 15}; };
        g.MisuraTaskbar = [this] { return barra; };
    }

    // A new form opened the way the program opens one.
    std::unique_ptr<Scheda> Apri(int left = 0, int top = 0, const QString& suffisso = "") {
        auto f = std::make_unique<Scheda>(g);
        RipristinaFinestra(g, *f, left, top, suffisso);
        return f;
    }

    void Salvato(const QByteArray& righe) {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Altro]\nX=1\n[ChkCliC]\n" + righe + "[Dopo]\nY=2\n");
    }

    QByteArray Contenuto() const {
        QFile f(ini);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QString Chiave(const char* chiave, const QString& sezione = "ChkCliC") const {
        return LeggiIni(ini, sezione, chiave);
    }

    QTemporaryDir dir;
    const QString ini = dir.filePath("KestorEx.ini");
    Global g;
    toolkit::Rettangolo barra;  // 1365 x 1024 pixels on the test screen
};

// Where a form opens from what was saved, what the caller asks and where the taskbar is.
TEST_F(Finestra, DoveSiApre) {
    const toolkit::Rettangolo sotto{0, 984, 1365, 1024}, destra{1305, 0, 1365, 1024},
        sinistra{0, 0, 80, 1024}, sopra{0, 0, 1365, 40};
    const struct {
        const char* caso;
        QByteArray salvato;  // DIMX, DIMY, POSX, POSY; empty: nothing saved
        toolkit::Rettangolo barra;
        int left, top, bordo;                    // what the caller asks
        int sinistra, cima, larghezza, altezza;  // -1: not looked at
    } casi[] = {
        // clang-format off
        {"centred the first time", "", {}, 0, 0, 2,
         Px((20480 - 6000) / 2), (15360 - 4500) / 2, 6000, 4500},
        {"exactly 0,0 reads as nothing saved", "9000 6000 0 0", {}, 0, 0, 2,
         Px((20480 - 9000) / 2), (15360 - 6000) / 2, 9000, 6000},
        {"the caller's place wins, 0 an edge", "9000 6000 3000 0", {}, 1500, 0, 2, 1500, 0, -1, -1},
        {"saved left, caller's top", "9000 6000 3000 0", {}, 0, 4500, 2, 3000, 4500, -1, -1},
        {"a negative edge centres that way", "9000 6000 -1 1500", {}, 0, 0, 2,
         Px((20480 - 9000) / 2), 1500, -1, -1},
        {"never larger than it", "30000 20000 500 500", {}, 0, 0, 2, 0, 0, Px(20480), 15360},
        {"only the edge past it moves back", "6000 4500 18000 3000", {}, 0, 0, 2,
         Px(20480 - 6000), 3000, -1, -1},
        {"from the top of the range too", "6000 4500 2147483000 2147483000", {}, 0, 0, 2,
         Px(20480 - 6000), 15360 - 4500, -1, -1},
        {"above a bottom bar", "6000 4400 3000 14000", sotto, 0, 0, 2, 3000, Px(10360), -1, -1},
        {"taller than it leaves: top on", "6000 15000 3000 3000", sotto, 0, 0, 2, -1, 0, -1, -1},
        {"beside a right bar of 900", "6000 4500 16000 3000", destra, 0, 0, 2,
         Px(20480 - 6000 - 900), 3000, -1, -1},
        {"beside a left bar of 1200", "6000 4500 300 3000", sinistra, 0, 0, 2, 1200, -1, -1, -1},
        {"a top bar moves nothing at the top", "6000 4500 3000 0", sopra, 0, 0, 2, -1, 0, -1, -1},
        {"nor at the bottom", "6000 4500 3000 14000", sopra, 0, 0, 2, -1, 15360 - 4500, -1, -1},
        {"a fixed border reads no size", "12000 9000 4500 1500", {}, 0, 0, 3, 4500, -1, 6000, 4500},
        // clang-format on
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        const QList<QByteArray> v = c.salvato.split(' ');
        ScriviFile(ini, c.salvato.isEmpty()
                            ? QByteArray()
                            : "[ChkCliC]\nWSTATE=0\nDIMX=" + v[0] + "\nDIMY=" + v[1] +
                                  "\nPOSX=" + v[2] + "\nPOSY=" + v[3] + "\n");
        barra = c.barra;
        Scheda f(g);
        f.SetBorderStyle(c.bordo);
        RipristinaFinestra(g, f, c.left, c.top, "");
        for (const auto& [atteso, misura] : {std::pair{c.sinistra, f.Left()},
                                             {c.cima, f.Top()},
                                             {c.larghezza, f.Width()},
                                             {c.altezza, f.Height()}})
            if (atteso >= 0) {
                EXPECT_EQ(misura, atteso);
            }
    }
}

// Saved where the operator left it, read back there; another suffix is another section.
TEST_F(Finestra, SiRiapreDoveLaSiLascia) {
    auto f = Apri();
    f->Move(1500, 3000, 9000, 6000);
    SalvaFinestra(g, *f, "");
    EXPECT_EQ(Contenuto(), "[ChkCliC]\nDIMX=9000\nDIMY=6000\nPOSX=1500\nPOSY=3000\nWSTATE=0\n");
    auto di_nuovo = Apri();
    EXPECT_EQ(di_nuovo->WindowState(), 0);
    EXPECT_EQ(di_nuovo->frameGeometry(), f->frameGeometry());
    EXPECT_EQ(Apri(0, 0, "2")->Left(), Px((20480 - 6000) / 2));

    // A fixed border saves no size.
    auto fisso = std::make_unique<Scheda>(g);
    fisso->SetBorderStyle(1);
    fisso->Move(1500, 3000, 9000, 6000);
    QFile::remove(ini);
    SalvaFinestra(g, *fisso, "");
    EXPECT_EQ(Contenuto(), "[ChkCliC]\nPOSX=1500\nPOSY=3000\nWSTATE=0\n");
}

TEST_F(Finestra, MassimizzataORidottaSiRiapreMassimizzata) {
    Salvato("DIMX=9000\nDIMY=6000\nPOSX=1500\nPOSY=3000\nWSTATE=0\n");
    auto f = Apri();
    f->SetWindowState(2);
    SalvaFinestra(g, *f, "");
    EXPECT_EQ(Contenuto(),
              "[Altro]\nX=1\n[ChkCliC]\nDIMX=9000\nDIMY=6000\nPOSX=1500\nPOSY=3000\nWSTATE=2\n"
              "[Dopo]\nY=2\n");

    auto di_nuovo = Apri();
    EXPECT_EQ(di_nuovo->WindowState(), 2);
    // Size and place are left to the maximised state, not read.
    Scheda solo(g);
    solo.SetWindowState(2);
    EXPECT_EQ(di_nuovo->frameGeometry(), solo.frameGeometry());

    Salvato("WSTATE=0\n");
    f = Apri();
    f->SetWindowState(1);
    SalvaFinestra(g, *f, "");
    EXPECT_EQ(Chiave("WSTATE"), "2");
    EXPECT_EQ(Chiave("POSX"), "");
    EXPECT_EQ(Apri()->WindowState(), 2);
}

// An environment file the login cannot write, as an operator's /etc/KestorEx.ini: the
// placement goes to the login's own file, read over the environment file's, which stays as
// the administrator left it. A configuration folder of another login is never written.
TEST_F(Finestra, ConUnFileDAmbienteDellAmministratoreOgniUtenteHaLaSua) {
    Salvato("DIMX=9000\nDIMY=6000\nPOSX=1500\nPOSY=3000\nWSTATE=0\n");
    const QByteArray ambiente = Contenuto();
    QFile::setPermissions(ini, QFile::ReadOwner | QFile::ReadOther);
    const bool immutabile = geteuid() == 0 && QProcess::execute("chattr", {"+i", ini}) == 0;
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    const auto ripristina = qScopeGuard([&] {
        if (immutabile) QProcess::execute("chattr", {"-i", ini});
        qputenv("XDG_CONFIG_HOME", config);
    });
    if (geteuid() == 0 && !immutabile) GTEST_SKIP() << "no way to make the file read-only";
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());

    auto f = Apri();
    EXPECT_EQ(f->Left(), 1500) << "the administrator's placement";
    f->Move(3000, 1500, 7500, 4500);
    SalvaFinestra(g, *f, "");
    EXPECT_EQ(Contenuto(), ambiente);
    EXPECT_EQ(QFileInfo(dir.filePath("config")).permissions() & 0x0077, 0) << "the login's alone";
    f = Apri();
    EXPECT_EQ(f->frameGeometry(), QRect(200, 100, 500, 300)) << "read back from the login's own";

    if (geteuid() != 0) return;
    const QString altrui = dir.filePath("altrui");
    QDir().mkpath(altrui + "/anagrafica");
    for (const QString& d : {altrui, altrui + "/anagrafica"})
        ASSERT_EQ(chown(QFile::encodeName(d).constData(), getpwnam("nobody")->pw_uid, 0), 0);
    qputenv("XDG_CONFIG_HOME", altrui.toUtf8());
    SalvaFinestra(g, *f, "");
    EXPECT_FALSE(QFile::exists(altrui + "/anagrafica/KestorEx.ini"));
}

// The primary screen right of a larger one (due_schermi.json, run as a test of its own): the
// forms measure from its corner and open on it.
TEST_F(Finestra, SulloSchermoPrincipaleAccantoAUnAltro) {
    const QPoint o = toolkit::OrigineSchermo();
    if (o.isNull()) GTEST_SKIP() << "the primary screen starts at the desktop's corner";
    g.MisuraSchermo = toolkit::SchermoPrincipale;
    g.MisuraTaskbar = toolkit::RettangoloTaskbar;
    const QRect principale = QGuiApplication::primaryScreen()->geometry();
    auto f = Apri();
    EXPECT_TRUE(principale.contains(f->frameGeometry())) << "centred on it the first time";
    f->Move(1500, 3000, 9000, 6000);
    EXPECT_EQ(f->frameGeometry().topLeft(), o + QPoint(100, 200));
    SalvaFinestra(g, *f, "");
    EXPECT_EQ(Chiave("POSX"), "1500");
    EXPECT_EQ(Apri()->frameGeometry(), f->frameGeometry()) << "back where it was left";
    f->CentraFinestra();
    EXPECT_LE((f->frameGeometry().center() - principale.center()).manhattanLength(), 2);
}

TEST_F(Finestra, AltezzaTaskbarDiceIlLatoELaMisura) {
    struct Caso {
        toolkit::Rettangolo barra;
        std::uint8_t lato;
        int altezza, larghezza;
    };
    const Caso casi[] = {
        {{0, 984, 1365, 1024}, 0, 600, 20475},
        {{1305, 0, 1365, 1024}, 1, 15360, 900},
        {{0, 0, 1365, 40}, 2, 600, 20475},
        {{0, 0, 80, 1024}, 3, 15360, 1200},
        // A left panel half the screen high still counts as one; less is a top bar.
        {{0, 0, 80, 512}, 3, 7680, 1200},
        {{0, 0, 80, 511}, 2, 7665, 1200},
        {{}, 2, 0, 0},
    };
    for (const Caso& c : casi) {
        barra = c.barra;
        SCOPED_TRACE(testing::Message() << c.barra.Left << "," << c.barra.Top);
        EXPECT_EQ(AltezzaTaskbar(g), c.lato);
        EXPECT_EQ(g.TaskbarTop, c.barra.Top);
        EXPECT_EQ(g.TaskbarLeft, c.barra.Left);
        EXPECT_EQ(g.TaskbarHeight, c.altezza);
        EXPECT_EQ(g.TaskbarWidth, c.larghezza);
    }
}

TEST(FinestraTaskbar, LaBandaCheLoSchermoNonConcede) {
    auto banda = [](const QRect& libero) {
        const toolkit::Rettangolo r = toolkit::BandaEsclusa(QRect(0, 0, 1280, 1024), libero);
        return QRect(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom - 1));
    };
    EXPECT_EQ(banda(QRect(0, 0, 1280, 984)), QRect(0, 984, 1280, 40));
    EXPECT_EQ(banda(QRect(0, 0, 1220, 1024)), QRect(1220, 0, 60, 1024));
    EXPECT_EQ(banda(QRect(0, 32, 1280, 992)), QRect(0, 0, 1280, 32));
    EXPECT_EQ(banda(QRect(70, 0, 1210, 1024)), QRect(0, 0, 70, 1024));
    // A top bar and a dock on the left: the dock is the one forms must keep clear of.
    EXPECT_EQ(banda(QRect(70, 32, 1210, 992)), QRect(0, 0, 70, 1024));
    const toolkit::Rettangolo nessuna =
        toolkit::BandaEsclusa(QRect(0, 0, 1280, 1024), QRect(0, 0, 1280, 1024));
    EXPECT_EQ(nessuna.Right - nessuna.Left, 0);
    EXPECT_EQ(nessuna.Bottom - nessuna.Top, 0);
}

}  // namespace
