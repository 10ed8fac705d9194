#include "app/Documenti.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray Leggi(const QString& nome) {
    QFile f(nome);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<manca>");
}

void Scrivi(const QString& nome, const QByteArray& dati) {
    QFile f(nome);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(dati);
}

QByteArray Utente() {
    return getpwuid(geteuid())->pw_name;
}

class DocumentiTest : public ::testing::Test {
  protected:
    // The lock LibreOffice writes beside the document, as it writes it.
    void Blocco(const QByteArray& utente, const QByteArray& computer, const QByteArray& profilo) {
        Scrivi(blocco, "," + utente + "," + computer + ",07.12.2026 13:51," + profilo + ";");
    }
    // A process that looks like a running LibreOffice of this user.
    void LibreOfficeFinto(const QStringList& argomenti) {
        const QString p = dir.filePath("bin/soffice.bin");
        QDir().mkpath(dir.filePath("bin"));
        Scrivi(p, "#!/bin/sh\nwhile :; do sleep 0.2; done\n");
        QFile::setPermissions(p, QFile::permissions(p) | QFile::ExeOwner);
        finto.start(p, argomenti);
        ASSERT_TRUE(finto.waitForStarted());
    }
    void TearDown() override {
        if (finto.state() != QProcess::NotRunning) {
            finto.kill();
            finto.waitForFinished();
        }
    }
    // The files of the folder, hidden ones included.
    QStringList File() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    QTemporaryDir dir;
    QString documento = dir.filePath("E_ChkCliC.csv");
    QString blocco = dir.filePath(".~lock.E_ChkCliC.csv#");
    QByteArray qui = QSysInfo::machineHostName().toUtf8();
    QProcess finto;
};

TEST(LeggiBlocco, ICampiDiLibreOffice) {
    const auto b = LeggiBlocco(",root,vm,07.12.2026 13:51,file:///tmp/lo/profilo;");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->nome, "");
    EXPECT_EQ(b->utente, "root");
    EXPECT_EQ(b->computer, "vm");
    EXPECT_EQ(b->ora, "07.12.2026 13:51");
    EXPECT_EQ(b->profilo, "file:///tmp/lo/profilo");

    const auto c = LeggiBlocco("Rossi\\, Mario\\\\ \\;Ufficio,mario,pc1,,file:///h;altro");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->nome, "Rossi, Mario\\ ;Ufficio");
    EXPECT_EQ(c->utente, "mario");

    for (const char* rotto : {"", "abc", ",root,vm,ora,url", ",root,vm,ora;url;",
                              "\\x,root,vm,ora,url;", ",root,vm,ora,url,in piu;"})
        EXPECT_FALSE(LeggiBlocco(rotto)) << rotto;
}

// A lock whose LibreOffice is gone keeps nothing open; one whose owner runs here, or may run
// on the computer it names, does; so does one that cannot be read.
TEST_F(DocumentiTest, IlBloccoDiUnLibreOfficeFinito) {
    EXPECT_FALSE(DocumentoTenutoAperto(documento)) << "no lock";
    const QByteArray morto = "file://" + dir.filePath("profilo-morto").toUtf8();
    Blocco(Utente(), qui, morto);
    // A LibreOffice of this user without a profile of its own may be running for a while.
    QTRY_VERIFY(!DocumentoTenutoAperto(documento));
    Blocco(Utente(), qui.toUpper() + ".ufficio.lan", morto);
    QTRY_VERIFY(!DocumentoTenutoAperto(documento));  // the full name of this computer
    Blocco("nobody", qui, morto);
    EXPECT_FALSE(DocumentoTenutoAperto(documento)) << "another user of this computer";

    Blocco(Utente(), "altro-pc", morto);
    EXPECT_TRUE(DocumentoTenutoAperto(documento)) << "a shared folder";
    Blocco(Utente(), "altro-" + qui + ".ufficio.lan", morto);
    EXPECT_TRUE(DocumentoTenutoAperto(documento));
    Blocco("utente-sconosciuto", qui, morto);
    EXPECT_TRUE(DocumentoTenutoAperto(documento));
    for (const QByteArray& rotto : {QByteArray(), QByteArray(",root,vm")}) {
        Scrivi(blocco, rotto);
        EXPECT_TRUE(DocumentoTenutoAperto(documento)) << rotto.constData();
    }
    QFile::remove(blocco);
    QFile::link(dir.filePath("altrove"), blocco);
    EXPECT_TRUE(DocumentoTenutoAperto(documento)) << "a link is not read";
}

TEST_F(DocumentiTest, IlBloccoDiUnLibreOfficeInEsecuzione) {
    const QByteArray suo = "file://" + dir.filePath("profilo").toUtf8();
    LibreOfficeFinto({"--headless", "-env:UserInstallation=" + suo + "/"});
    Blocco(Utente(), qui, suo);
    EXPECT_TRUE(DocumentoTenutoAperto(documento));
    RimuoviBloccoOrfano(documento);
    EXPECT_TRUE(QFile::exists(blocco)) << "a live lock stays";
    Blocco(Utente(), qui, suo + "-altro");
    QTRY_VERIFY(!DocumentoTenutoAperto(documento));  // that process keeps another profile
    TearDown();
    LibreOfficeFinto({"--calc"});
    EXPECT_TRUE(DocumentoTenutoAperto(documento)) << "a process on the usual profile";
}

// Only the operator's own lock is taken away, and only once its owner is gone.
TEST_F(DocumentiTest, IlBloccoOrfanoSiRimuove) {
    const QByteArray morto = "file://" + dir.filePath("profilo-morto").toUtf8();
    Blocco("nobody", qui, morto);
    RimuoviBloccoOrfano(documento);
    EXPECT_TRUE(QFile::exists(blocco)) << "another user's";
    Blocco(Utente(), "altro-pc", morto);
    RimuoviBloccoOrfano(documento);
    EXPECT_TRUE(QFile::exists(blocco)) << "another computer's";
    Blocco(Utente(), qui, morto);
    QTRY_VERIFY((RimuoviBloccoOrfano(documento), !QFile::exists(blocco)));
}

// The document is written under another name and renamed over the old one once whole: the
// old one's rights do not matter, the new one is the operator's alone, nothing else is left.
TEST_F(DocumentiTest, UnDocumentoNuovoPrendeIlPosto) {
    Scrivi(documento, "vecchio");
    QFile::setPermissions(documento, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    {
        NuovoDocumento d(documento);
        ASSERT_TRUE(d.Apri());
        EXPECT_EQ(File().size(), 2) << "the new one beside the old";
        EXPECT_TRUE(d.Scrivi("CODICE;\r\n"));
        EXPECT_TRUE(d.Scrivi(QByteArray(200000, 'x')));
        EXPECT_EQ(Leggi(documento), "vecchio") << "not until it is whole";
        EXPECT_TRUE(d.Concludi()) << d.Causa().toStdString();
    }
    EXPECT_EQ(Leggi(documento), "CODICE;\r\n" + QByteArray(200000, 'x'));
    EXPECT_EQ(QFileInfo(documento).permissions() & 0x7777,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_EQ(File(), QStringList{"E_ChkCliC.csv"});

    {
        NuovoDocumento d(documento);
        ASSERT_TRUE(d.Apri());
        d.Scrivi("a meta");
    }
    EXPECT_EQ(File(), QStringList{"E_ChkCliC.csv"}) << "dropped unfinished";
    EXPECT_EQ(Leggi(documento).left(7), "CODICE;");

    // A link under the name is replaced, and what it pointed to is left alone.
    const QString bersaglio = dir.filePath("bersaglio");
    Scrivi(bersaglio, "mio");
    QFile::remove(documento);
    QFile::link(bersaglio, documento);
    NuovoDocumento d(documento);
    ASSERT_TRUE(d.Apri() && d.Scrivi("nuovo") && d.Concludi());
    EXPECT_FALSE(QFileInfo(documento).isSymLink());
    EXPECT_EQ(Leggi(documento), "nuovo");
    EXPECT_EQ(Leggi(bersaglio), "mio");
}

TEST_F(DocumentiTest, UnaCartellaCheNonSiPuoUsare) {
    NuovoDocumento manca(dir.filePath("nessuna/E_ChkCliC.csv"));
    EXPECT_FALSE(manca.Apri());
    EXPECT_EQ(manca.Causa(), "la cartella non esiste");
    EXPECT_FALSE(manca.Scrivi("x"));
    EXPECT_FALSE(manca.Concludi());

    Scrivi(dir.filePath("file"), "");
    NuovoDocumento file(dir.filePath("file/E_ChkCliC.csv"));
    EXPECT_FALSE(file.Apri());
    EXPECT_EQ(file.Causa(), "il percorso della cartella non è una cartella");

    QDir().mkpath(documento);
    NuovoDocumento cartella(documento);
    EXPECT_FALSE(cartella.Apri());
    EXPECT_EQ(cartella.Causa(), "al suo posto c'è una cartella");
}

// A write that fails leaves the old file as it was and no new one beside it.
TEST_F(DocumentiTest, UnaScritturaCheNonRiesce) {
    Scrivi(documento, "vecchio");
    rlimit prima{};
    getrlimit(RLIMIT_FSIZE, &prima);
    auto segnale = std::signal(SIGXFSZ, SIG_IGN);
    {
        NuovoDocumento d(documento);
        ASSERT_TRUE(d.Apri());
        rlimit poco = prima;
        poco.rlim_cur = 100000;
        setrlimit(RLIMIT_FSIZE, &poco);
        bool scritto = true;
        for (int i = 0; i < 10 && scritto; ++i) scritto = d.Scrivi(QByteArray(30000, 'x'));
        scritto = scritto && d.Concludi();
        setrlimit(RLIMIT_FSIZE, &prima);
        EXPECT_FALSE(scritto);
        EXPECT_EQ(d.Causa(), "il file è troppo grande");
    }
    std::signal(SIGXFSZ, segnale);
    EXPECT_EQ(Leggi(documento), "vecchio");
    EXPECT_EQ(File(), QStringList{"E_ChkCliC.csv"});
}

// Another user's file, or a link another user planted in a folder all can write, is not
// replaced (a link would otherwise lead the write to one of the operator's own files).
TEST_F(DocumentiTest, IlFileDiUnAltroUtente) {
    if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user takes root";
    const passwd* nobody = getpwnam("nobody");
    ASSERT_TRUE(nobody);
    const QString bersaglio = dir.filePath("bersaglio");
    Scrivi(bersaglio, "mio");
    QFile::link(bersaglio, documento);
    ASSERT_EQ(lchown(QFile::encodeName(documento).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    {
        NuovoDocumento d(documento);
        EXPECT_FALSE(d.Apri());
        EXPECT_EQ(d.Causa(), "il file appartiene a un altro utente");
    }
    EXPECT_TRUE(QFileInfo(documento).isSymLink());
    EXPECT_EQ(Leggi(bersaglio), "mio");

    QFile::remove(documento);
    Scrivi(documento, "suo");
    NuovoDocumento d(documento);
    ASSERT_TRUE(d.Apri());
    // Given away while it was being written.
    ASSERT_EQ(chown(QFile::encodeName(documento).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    d.Scrivi("nuovo");
    EXPECT_FALSE(d.Concludi());
    EXPECT_EQ(d.Causa(), "il file appartiene a un altro utente");
    EXPECT_EQ(Leggi(documento), "suo");
}

}  // namespace
