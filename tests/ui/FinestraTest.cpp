#include "ui/Finestra.h"

#include "app/Profilo.h"
#include "app/Toolkit.h"
#include "support/AmbienteProva.h"
#include "ui/Global.h"
#include "ui/Modulo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QScopeGuard>
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

TEST_F(Finestra, LaPrimaVoltaSiApreAlCentroEPoiDoveLaSiLascia) {
    auto f = Apri();
    EXPECT_EQ(f->Width(), 6000);
    EXPECT_EQ(f->Height(), 4500);
    EXPECT_EQ(f->Left(), Px((20480 - 6000) / 2));
    EXPECT_EQ(f->Top(), (15360 - 4500) / 2);

    f->Move(1500, 3000, 9000, 6000);
    SalvaFinestra(g, *f, "");
    EXPECT_EQ(Contenuto(), "[ChkCliC]\nDIMX=9000\nDIMY=6000\nPOSX=1500\nPOSY=3000\nWSTATE=0\n");

    auto di_nuovo = Apri();
    EXPECT_EQ(di_nuovo->WindowState(), 0);
    EXPECT_EQ(di_nuovo->Left(), 1500);
    EXPECT_EQ(di_nuovo->Top(), 3000);
    EXPECT_EQ(di_nuovo->Width(), 9000);
    EXPECT_EQ(di_nuovo->Height(), 6000);

    // Another suffix is another section.
    EXPECT_EQ(Apri(0, 0, "2")->Left(), Px((20480 - 6000) / 2));
}

TEST_F(Finestra, LePosizioniSalvateEQuelleChieste) {
    // Left exactly at 0,0 in normal state is what nothing saved reads: centred.
    Salvato("WSTATE=0\nDIMX=9000\nDIMY=6000\nPOSX=0\nPOSY=0\n");
    auto f = Apri();
    EXPECT_EQ(f->Width(), 9000);
    EXPECT_EQ(f->Left(), Px((20480 - 9000) / 2));
    EXPECT_EQ(f->Top(), (15360 - 6000) / 2);

    // The caller's place wins over the saved one, and then 0 is a real edge.
    Salvato("WSTATE=0\nDIMX=9000\nDIMY=6000\nPOSX=3000\nPOSY=0\n");
    f = Apri(1500, 0);
    EXPECT_EQ(f->Left(), 1500);
    EXPECT_EQ(f->Top(), 0);
    f = Apri(0, 4500);
    EXPECT_EQ(f->Left(), 3000);
    EXPECT_EQ(f->Top(), 4500);

    // A negative edge centres that direction only.
    Salvato("WSTATE=0\nDIMX=9000\nDIMY=6000\nPOSX=-1\nPOSY=1500\n");
    f = Apri();
    EXPECT_EQ(f->Left(), Px((20480 - 9000) / 2));
    EXPECT_EQ(f->Top(), 1500);
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
    const QString proprio = dir.filePath("config/anagrafica/KestorEx.ini");

    auto f = Apri();
    EXPECT_EQ(f->Left(), 1500) << "the administrator's placement";
    f->Move(3000, 1500, 7500, 4500);
    SalvaFinestra(g, *f, "");
    EXPECT_EQ(Contenuto(), ambiente);
    QFile letto(proprio);
    ASSERT_TRUE(letto.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString(letto.readAll()),
              "[ChkCliC]\nDIMX=7500\nDIMY=4500\nPOSX=3000\nPOSY=1500\nWSTATE=0\n");
    EXPECT_EQ(QFileInfo(dir.filePath("config")).permissions() & 0x0077, 0) << "the login's alone";
    f = Apri();
    EXPECT_EQ(f->frameGeometry(), QRect(200, 100, 500, 300));

    if (geteuid() != 0) return;
    const QString altrui = dir.filePath("altrui");
    QDir().mkpath(altrui + "/anagrafica");
    for (const QString& d : {altrui, altrui + "/anagrafica"})
        ASSERT_EQ(chown(QFile::encodeName(d).constData(), getpwnam("nobody")->pw_uid, 0), 0);
    qputenv("XDG_CONFIG_HOME", altrui.toUtf8());
    SalvaFinestra(g, *f, "");
    EXPECT_FALSE(QFile::exists(altrui + "/anagrafica/KestorEx.ini"));
}

TEST_F(Finestra, UnBordoFissoNonSalvaNeLeggeLaMisura) {
    auto f = std::make_unique<Scheda>(g);
    f->SetBorderStyle(1);
    f->Move(1500, 3000, 9000, 6000);
    SalvaFinestra(g, *f, "");
    EXPECT_EQ(Contenuto(), "[ChkCliC]\nPOSX=1500\nPOSY=3000\nWSTATE=0\n");

    Salvato("DIMX=12000\nDIMY=9000\nPOSX=4500\nPOSY=1500\nWSTATE=0\n");
    auto fisso = std::make_unique<Scheda>(g);
    fisso->SetBorderStyle(3);
    RipristinaFinestra(g, *fisso, 0, 0, "");
    EXPECT_EQ(fisso->Width(), 6000);
    EXPECT_EQ(fisso->Height(), 4500);
    EXPECT_EQ(fisso->Left(), 4500);
}

TEST_F(Finestra, NonEsceDalloSchermo) {
    Salvato("DIMX=30000\nDIMY=20000\nPOSX=500\nPOSY=500\nWSTATE=0\n");
    auto f = Apri();
    EXPECT_EQ(f->Width(), Px(20480));
    EXPECT_EQ(f->Height(), 15360);
    EXPECT_EQ(f->Left(), 0);
    EXPECT_EQ(f->Top(), 0);

    // Only the edge past the screen moves back.
    Salvato("DIMX=6000\nDIMY=4500\nPOSX=18000\nPOSY=3000\nWSTATE=0\n");
    f = Apri();
    EXPECT_EQ(f->Left(), Px(20480 - 6000));
    EXPECT_EQ(f->Top(), 3000);
}

TEST_F(Finestra, StaLontanaDallaTaskbar) {
    // Bottom, 40 pixels: 600 twips.
    barra = {0, 984, 1365, 1024};
    Salvato("DIMX=6000\nDIMY=4400\nPOSX=3000\nPOSY=14000\nWSTATE=0\n");
    auto f = Apri();
    EXPECT_EQ(f->Top(), Px(10360));
    EXPECT_EQ(f->Left(), 3000);
    EXPECT_EQ(g.TaskbarSide, 0);
    EXPECT_EQ(g.TaskbarHeight, 600);
    // Taller than what the taskbar leaves: the top edge stays on the screen.
    Salvato("DIMX=6000\nDIMY=15000\nPOSX=3000\nPOSY=3000\nWSTATE=0\n");
    EXPECT_EQ(Apri()->Top(), 0);

    // Right, 60 pixels: 900 twips.
    barra = {1305, 0, 1365, 1024};
    Salvato("DIMX=6000\nDIMY=4500\nPOSX=16000\nPOSY=3000\nWSTATE=0\n");
    f = Apri();
    EXPECT_EQ(f->Left(), Px(20480 - 6000 - 900));
    EXPECT_EQ(f->Top(), 3000);

    // Left, 80 pixels: 1200 twips.
    barra = {0, 0, 80, 1024};
    Salvato("DIMX=6000\nDIMY=4500\nPOSX=300\nPOSY=3000\nWSTATE=0\n");
    EXPECT_EQ(Apri()->Left(), 1200);

    // A top bar moves nothing, neither at the top edge nor at the bottom one.
    barra = {0, 0, 1365, 40};
    Salvato("DIMX=6000\nDIMY=4500\nPOSX=3000\nPOSY=0\nWSTATE=0\n");
    f = Apri();
    EXPECT_EQ(f->Top(), 0);
    EXPECT_EQ(g.TaskbarSide, 2);
    Salvato("DIMX=6000\nDIMY=4500\nPOSX=3000\nPOSY=14000\nWSTATE=0\n");
    EXPECT_EQ(Apri()->Top(), 15360 - 4500);
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
