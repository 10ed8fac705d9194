#include "app/Profilo.h"

#include "app/Messaggi.h"
#include "support/AmbienteProva.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <thread>
#include <tuple>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray Spazzatura(quint32 seme, int quanti) {
    QRandomGenerator gen(seme);
    QByteArray b;
    for (int i = 0; i < quanti; ++i) b += char(i % 50 == 0 ? 0 : gen.bounded(256));
    return b;
}

}  // namespace

TEST(Profilo, LeggiIniRestituisceIlValoreComeLoUsaIlProgramma) {
    QTemporaryDir dir;
    const QString f = dir.filePath("amb.ini");
    ScriviFile(f,
               "; H=commento\n[Percorsi]\n  DIRINI =  /dati/ ; data root  \nA=abc;def\n"
               "B=abc ;def\nC=" +
                   QByteArray(150, 'x') +
                   "\nD=/dati/\tremark\n"
                   "E=\"  tra virgolette  \"\nG=\"spaiate'\nH=prima\nH=seconda\n"
                   "; Z=nascosta\nN=caf\xe8\nU=citt\xc3\xa0\nP=l\x92ufficio \x80\n"
                   "[PERCORSI]\nZ=sezione doppia\n[Altro]\nK=v\0coda"_qba);

    // Comments, later sections of the same name, and other sections are not searched.
    using Voce = std::tuple<const char*, const char*, QString>;
    // clang-format off
    for (const auto& [sezione, chiave, atteso] : std::initializer_list<Voce>{
             {"percorsi", "dirini", "/dati/"}, {"Percorsi", "A", "abc;def"},
             {"Percorsi", "B", "abc"}, {"Percorsi", "C", QString(99, u'x')},
             {"Percorsi", "D", "/dati/"}, {"Percorsi", "E", "tra virgolette"},
             {"Percorsi", "G", "\"spaiate'"}, {"Percorsi", "h", "prima"},
             {"Percorsi", "N", QString::fromUtf8("cafè")},
             {"Percorsi", "U", QString::fromUtf8("città")},
             {"Percorsi", "P", QString::fromUtf8("l’ufficio €")}, {"Altro", "K", "v"},
             {"Percorsi", "Z", ""}, {"Percorsi", "K", ""}, {"Manca", "A", ""}})
        EXPECT_EQ(LeggiIni(f, sezione, chiave), atteso) << sezione << '/' << chiave;
    // clang-format on
    EXPECT_EQ(LeggiIni(dir.filePath("nessuno.ini"), "Percorsi", "A"), "");

    // Whether the limit cut the value itself, not only a remark after it.
    ScriviFile(f, "[S]\nC=" + QByteArray(150, 'x') + "\nR=" + QByteArray(99, 'y') + " ; " +
                      QByteArray(50, 'r') + "\nT=" + QByteArray(99, 'z') + "\tnota\nB=abc\n");
    for (const auto& [chiave, atteso] :
         {std::pair{"C", true}, {"R", false}, {"T", false}, {"B", false}, {"manca", false}}) {
        bool tagliato = !atteso;
        LeggiIni(f, "S", chiave, &tagliato);
        EXPECT_EQ(tagliato, atteso) << chiave;
    }

    // Line ends of either kind, and garbage or huge lines around the section.
    ScriviFile(f, "[S]\r\nK = v \r\nL=w");
    EXPECT_EQ(LeggiIni(f, "s", "k"), "v");
    EXPECT_EQ(LeggiIni(f, "S", "L"), "w");

    ScriviFile(f, Spazzatura(7, 5000) + "\n[S]\nK=v\n" + Spazzatura(11, 5000));
    EXPECT_EQ(LeggiIni(f, "S", "K"), "v");

    ScriviFile(f, "[S]\n" + QByteArray(10000, 'z') + "=" + QByteArray(10000, 'y') + "\nK=v\n");
    EXPECT_EQ(LeggiIni(f, "S", "K"), "v");
}

TEST(Profilo, ScriviIniCambiaSoloLaChiave) {
    QTemporaryDir dir;
    const QString f = dir.filePath("amb.ini");
    const QByteArray testa = "; commento\n[Uno]\nA=1\n\n[Due]\n";
    const QByteArray coda = "\n\xff\x01 spazzatura\n\n[Tre]\nC=3\n";
    ScriviFile(f, testa + "b = 2 ; nota" + coda);

    ScriviIni(f, "due", "B", "20");
    EXPECT_EQ(LeggiFile(f), testa + "B=20" + coda);
    ScriviIni(f, "Uno", "Nuova", "x y");
    EXPECT_EQ(LeggiFile(f), "; commento\n[Uno]\nA=1\nNuova=x y\n\n[Due]\nB=20" + coda);
    ScriviIni(f, "Quattro", "K", "v");
    EXPECT_EQ(LeggiFile(f),
              "; commento\n[Uno]\nA=1\nNuova=x y\n\n[Due]\nB=20" + coda + "\n[Quattro]\nK=v\n");
    EXPECT_EQ(LeggiIni(f, "uno", "nuova"), "x y");

    // CRLF files stay CRLF, also when the last line had no line end.
    ScriviFile(f, "[S]\r\nA=1\r\n\r\n[T]\r\nB=2");
    ScriviIni(f, "S", "C", "3");
    ScriviIni(f, "T", "D", "4");
    EXPECT_EQ(LeggiFile(f), "[S]\r\nA=1\r\nC=3\r\n\r\n[T]\r\nB=2\r\nD=4\r\n");
    ScriviFile(f, "[S]\r\nA=1");
    ScriviIni(f, "U", "E", "5");
    EXPECT_EQ(LeggiFile(f), "[S]\r\nA=1\r\n\r\n[U]\r\nE=5\r\n");

    // A file shared by a group keeps its owner and group, and an access list, as it was.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(QFile::encodeName(f).constData(), 65534, 65534), 0);
        ScriviIni(f, "S", "A", "2");
        struct stat st {};
        ASSERT_EQ(stat(QFile::encodeName(f).constData(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        const auto acl = QByteArray::fromHex(
            "02000000"
            "01000600ffffffff"
            "02000600feff0000"
            "04000400ffffffff"
            "10000600ffffffff"
            "20000400ffffffff");
        if (setxattr(QFile::encodeName(f).constData(), "system.posix_acl_access", acl.data(),
                     size_t(acl.size()), 0) == 0) {
            ScriviIni(f, "S", "A", "3");
            EXPECT_EQ(LeggiIni(f, "S", "A"), "3");
            EXPECT_GT(
                getxattr(QFile::encodeName(f).constData(), "system.posix_acl_access", nullptr, 0),
                0);
        }
    }

    // A full disk leaves the file as it was.
    {
        const QByteArray prima = LeggiFile(f);
        rlimit vecchio{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &vecchio), 0);
        const rlimit pieno{rlim_t(prima.size()), vecchio.rlim_max};
        const auto segnale = signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &pieno), 0);
        ScriviIni(f, "S", "Lunga", QString(100, u'x'));
        setrlimit(RLIMIT_FSIZE, &vecchio);
        signal(SIGXFSZ, segnale);
        EXPECT_EQ(LeggiFile(f), prima);
    }

    // Programs writing at once: each reads the file as the last one left it.
    {
        ScriviFile(f, "[PATH]\r\nDIRINI=/dati/\r\n[BASE]\r\nDITTA=01\r\n");
        std::vector<std::thread> programmi;
        for (int p = 0; p < 4; ++p)
            programmi.emplace_back([&f, p] {
                for (int i = 1; i <= 40; ++i)
                    ScriviIni(f, QString("P%1").arg(p), "POSX", QString::number(i));
            });
        for (std::thread& t : programmi) t.join();
        EXPECT_EQ(LeggiIni(f, "BASE", "DITTA"), "01");
        for (int p = 0; p < 4; ++p) EXPECT_EQ(LeggiIni(f, QString("P%1").arg(p), "POSX"), "40");
    }

    const QString nuovo = dir.filePath("nuovo.ini");
    ScriviIni(nuovo, "S", "K", "v");
    EXPECT_EQ(LeggiFile(nuovo), "[S]\nK=v\n");
    const QString impossibile = dir.filePath("manca/nuovo.ini");
    ScriviIni(impossibile, "S", "K", "v");
    EXPECT_FALSE(QFile::exists(impossibile));
}

TEST(Profilo, ScriviIniInUnaCartellaChiusaScriveNelFile) {
    QTemporaryDir dir;
    const QString f = dir.filePath("KestorEx.ini");
    const QByteArray testa = "[Percorsi]\r\nDIRINI=/dati/\r\n\r\n[ChkCliC]\r\nPOSX=";
    const QByteArray coda = "\r\nPOSY=300\r\n[Dopo]\r\nK=v";
    ScriviFile(f, testa + "100" + coda);
    QFile::setPermissions(
        f, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther);

    // The folder takes no new file; root ignores permission bits, not an immutable folder,
    // whose files stay writable.
    const auto aperta = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    const bool immutabile = geteuid() == 0 && QProcess::execute("chattr", {"+i", dir.path()}) == 0;
    const auto riapri = qScopeGuard([&] {
        if (immutabile) QProcess::execute("chattr", {"-i", dir.path()});
        QFile::setPermissions(dir.path(), aperta);
    });
    if (geteuid() == 0 && !immutabile) GTEST_SKIP() << "no way to close the folder";
    ASSERT_FALSE(QFile(dir.filePath("prova")).open(QIODevice::WriteOnly));

    ScriviIni(f, "ChkCliC", "POSX", "4500");
    EXPECT_EQ(LeggiFile(f), testa + "4500" + coda);
    ScriviIni(f, "Nuova", "WSTATE", "2");
    EXPECT_EQ(LeggiFile(f), testa + "4500" + coda + "\r\n\r\n[Nuova]\r\nWSTATE=2\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"KestorEx.ini"});

    // A file nobody may write stays as it was.
    if (!immutabile) {
        QFile::setPermissions(f, QFile::ReadOwner);
        ScriviIni(f, "ChkCliC", "POSX", "0");
        EXPECT_EQ(LeggiIni(f, "ChkCliC", "POSX"), "4500");
    }
}

TEST(Profilo, ErroreFileSpiegaEChiede) {
    ServizioMessaggi s;
    s.Copione({Risposta::Riprova, Risposta::Annulla, Risposta::OK});
    EXPECT_EQ(ErroreFile(71, "A:/LISTA.CSV", s), 0);
    EXPECT_EQ(ErroreFile(76, "/x/y/f.txt", s), 2);
    EXPECT_EQ(ErroreFile(64, "f", s), 2);
    EXPECT_EQ(ErroreFile(55, "f", s), 9);
    EXPECT_EQ(ErroreFile(999, "f", s), 3);
    ASSERT_EQ(s.Mostrati().size(), 3u);
    const Messaggio& m = s.Mostrati()[0];
    EXPECT_EQ(m.testo, QString::fromUtf8("Il disco non è pronto   A:"));
    EXPECT_EQ(m.titolo, "Errori su  A:/LISTA.CSV");
    EXPECT_EQ(m.pulsanti, Pulsanti::RiprovaAnnulla);
    EXPECT_EQ(m.icona, Icona::Esclamazione);
    EXPECT_EQ(s.Mostrati()[1].titolo, "Errori su  /x/y");
    EXPECT_EQ(s.Mostrati()[2].pulsanti, Pulsanti::OK);

    EXPECT_EQ(ErroreDaErrno(ENOTDIR), 76);
    EXPECT_EQ(ErroreDaErrno(EPERM), 75);
    EXPECT_EQ(ErroreDaErrno(ELOOP), 0);
}

TEST(Profilo, EsisteFile) {
    QTemporaryDir dir;
    const QString prog = dir.filePath("prog");
    ScriviFile(prog, "x");
    ServizioMessaggi s;
    s.Copione({});

    QString vuoto = "  ";
    EXPECT_FALSE(EsisteFile(vuoto, s, [](const QString&) {
        ADD_FAILURE() << "blank paths must not reach the file system";
        return kFileTrovato;
    }));

    QString p = prog;
    EXPECT_TRUE(EsisteFile(p, s));
    p = QString("\"") + prog + "\"";
    EXPECT_TRUE(EsisteFile(p, s));
    EXPECT_EQ(p, prog);
    p = QString("\"") + prog + "\" -x";
    EXPECT_FALSE(EsisteFile(p, s));
    EXPECT_EQ(p, prog + " -x");
    p = dir.path();
    EXPECT_FALSE(EsisteFile(p, s));
    EXPECT_TRUE(s.Mostrati().empty());

    s.Copione({Risposta::Riprova, Risposta::Annulla});
    p = dir.filePath("manca/f.txt");
    EXPECT_FALSE(EsisteFile(p, s));
    ASSERT_EQ(s.Mostrati().size(), 2u);
    EXPECT_EQ(s.Mostrati()[1].testo, "Questo percorso non esiste.");
    EXPECT_EQ(s.Mostrati()[1].titolo, "Errori su  " + dir.filePath("manca"));

    // A transient fault clears on retry.
    s.AzzeraMostrati();
    s.Copione({Risposta::Riprova});
    int prove = 0;
    p = "/dati/f";
    EXPECT_TRUE(EsisteFile(p, s, [&](const QString&) { return prove++ ? kFileTrovato : EIO; }));
    ASSERT_EQ(s.Mostrati().size(), 1u);
    EXPECT_EQ(s.Mostrati()[0].testo, "Errore di I/O sul DEVICE del file   /d");
    EXPECT_FALSE(EsisteFile(p, s, [](const QString&) { return ELOOP; }));
    EXPECT_EQ(s.Mostrati().size(), 1u);
}
