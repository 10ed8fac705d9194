#include "app/Documenti.h"
#include "support/AmbienteProva.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

class DocumentiTest : public ::testing::Test {
  protected:
    // The lock as LibreOffice writes it beside the document.
    void Blocco(const QByteArray& utente, const QByteArray& computer, const QByteArray& profilo) {
        ScriviFile(blocco, "," + utente + "," + computer + ",07.12.2026 13:51," + profilo + ";");
    }
    void TearDown() override {
        finto.kill();
        finto.waitForFinished();
    }
    // Every file of the folder, hidden ones included.
    QStringList File() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    QTemporaryDir dir;
    QString documento = dir.filePath("E_ChkCliC.csv");
    QString blocco = dir.filePath(".~lock.E_ChkCliC.csv#");
    QByteArray qui = QSysInfo::machineHostName().toUtf8();
    QByteArray io = getpwuid(geteuid())->pw_name;
    QByteArray morto = "file://" + dir.filePath("profilo-morto").toUtf8();
    QProcess finto;
};

TEST(LeggiBlocco, ICampiDiLibreOffice) {
    const auto b = LeggiBlocco("Rossi\\, Mario\\;\\\\,mario,pc1,07.12.2026 13:51,file:///h/p;");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->nome, "Rossi, Mario;\\");
    EXPECT_EQ(b->utente, "mario");
    EXPECT_EQ(b->computer, "pc1");
    EXPECT_EQ(b->profilo, "file:///h/p");
    for (const char* rotto : {"", ",root,vm,ora,url", "\\x,root,vm,ora,url;", ",a,b,c,d,e;"})
        EXPECT_FALSE(LeggiBlocco(rotto)) << rotto;
}

// A lock whose LibreOffice is gone holds nothing, and the operator's own is taken away; one
// naming another computer, or that cannot be read, is taken as held, unless another login
// planted it: the document is this login's alone.
TEST_F(DocumentiTest, IlBloccoDiUnLibreOfficeFinito) {
    EXPECT_FALSE(DocumentoTenutoAperto(documento));
    const qsizetype punto = qui.indexOf('.');
    Blocco("nobody", punto < 0 ? qui.toUpper() + ".ufficio.lan" : qui.left(punto), morto);
    EXPECT_FALSE(DocumentoTenutoAperto(documento)) << "this computer by its full name";
    RimuoviBloccoOrfano(documento);
    EXPECT_TRUE(QFile::exists(blocco)) << "another user's lock stays";
    for (const QByteArray& vivo : {"," + io + ",altro-pc,ora," + morto + ";",
                                   ",utente-sconosciuto," + qui + ",ora," + morto + ";",
                                   QByteArray(), QByteArray(",root,vm")}) {
        ScriviFile(blocco, vivo);
        EXPECT_TRUE(DocumentoTenutoAperto(documento)) << vivo.constData();
        RimuoviBloccoOrfano(documento);
        EXPECT_TRUE(QFile::exists(blocco));
    }
    if (geteuid() == 0) {
        ASSERT_EQ(lchown(QFile::encodeName(blocco).constData(), 65534, 65534), 0);
        EXPECT_FALSE(DocumentoTenutoAperto(documento));
        QFile::remove(blocco);
    }
    Blocco(io, qui, morto);
    // A LibreOffice of this user on the usual profile may be running for a while.
    QTRY_VERIFY((RimuoviBloccoOrfano(documento), !QFile::exists(blocco)));
}

// A LibreOffice of the lock's user holds it unless it runs on another profile.
TEST_F(DocumentiTest, IlBloccoDiUnLibreOfficeInEsecuzione) {
    const QString programma = dir.filePath("soffice.bin");
    ScriviFile(programma, "#!/bin/sh\nwhile :; do sleep 0.2; done\n");
    QFile::setPermissions(programma, QFile::permissions(programma) | QFile::ExeOwner);
    finto.start(programma, {"--headless", "-env:UserInstallation=" + morto + "/"});
    ASSERT_TRUE(finto.waitForStarted());
    Blocco(io, qui, morto);
    EXPECT_TRUE(DocumentoTenutoAperto(documento));
    RimuoviBloccoOrfano(documento);
    EXPECT_TRUE(QFile::exists(blocco));
    Blocco(io, qui, morto + "-altro");
    QTRY_VERIFY(!DocumentoTenutoAperto(documento));
}

// Written under another name, renamed over the old file once whole: the old file's rights do
// not matter, a link under the name is replaced and not followed, nothing else is left.
TEST_F(DocumentiTest, UnDocumentoNuovoPrendeIlPosto) {
    const QString bersaglio = dir.filePath("bersaglio");
    ScriviFile(bersaglio, "mio");
    QFile::link(bersaglio, documento);
    NuovoDocumento d(documento);
    ASSERT_TRUE(d.Apri());
    EXPECT_TRUE(d.Scrivi(QByteArray(200000, 'x')));
    EXPECT_TRUE(d.Concludi()) << d.Causa().toStdString();
    EXPECT_FALSE(QFileInfo(documento).isSymLink());
    EXPECT_EQ(LeggiFile(bersaglio), "mio");
    EXPECT_EQ(LeggiFile(documento), QByteArray(200000, 'x'));
    EXPECT_EQ(QFileInfo(documento).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser)
        << "the operator's alone";

    QFile::setPermissions(documento, QFile::ReadOwner);
    NuovoDocumento e(documento);
    ASSERT_TRUE(e.Apri() && e.Scrivi("nuovo") && e.Concludi());
    EXPECT_EQ(LeggiFile(documento), "nuovo") << "a read-only file";
    EXPECT_EQ(File(), QStringList({"bersaglio", "E_ChkCliC.csv"}));
}

// A write that fails leaves the old file as it was and nothing beside it.
TEST_F(DocumentiTest, UnaScritturaCheNonRiesce) {
    ScriviFile(documento, "vecchio");
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
    EXPECT_EQ(LeggiFile(documento), "vecchio");
    EXPECT_EQ(File(), QStringList{"E_ChkCliC.csv"});
}

// Another user's file, or a link planted by another user in a folder all can write, is left
// alone, also when it turns up while the new file is being written; this user's document
// takes a name of its own beside it.
TEST_F(DocumentiTest, IlFileDiUnAltroUtente) {
    EXPECT_EQ(DocumentoProprio(documento), documento) << "a free name";
    ScriviFile(documento, "mio");
    EXPECT_EQ(DocumentoProprio(documento), documento) << "this user's own";
    if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user takes root";
    QFile::remove(documento);
    const passwd* nobody = getpwnam("nobody");
    ASSERT_TRUE(nobody);
    const QByteArray nome = QFile::encodeName(documento);
    ScriviFile(dir.filePath("bersaglio"), "mio");
    QFile::link(dir.filePath("bersaglio"), documento);
    ASSERT_EQ(lchown(nome.constData(), nobody->pw_uid, nobody->pw_gid), 0);
    NuovoDocumento d(documento);
    EXPECT_FALSE(d.Apri());
    EXPECT_EQ(d.Causa(), "il file appartiene a un altro utente");
    const QString proprio = DocumentoProprio(documento);
    EXPECT_EQ(proprio, dir.filePath("E_ChkCliC_" + io + ".csv"));
    NuovoDocumento p(proprio);
    ASSERT_TRUE(p.Apri() && p.Scrivi("nuovo") && p.Concludi()) << p.Causa().toStdString();
    EXPECT_EQ(LeggiFile(proprio), "nuovo");

    QFile::remove(documento);
    NuovoDocumento e(documento);
    ASSERT_TRUE(e.Apri() && e.Scrivi("nuovo"));
    ScriviFile(documento, "suo");
    ASSERT_EQ(chown(nome.constData(), nobody->pw_uid, nobody->pw_gid), 0);
    EXPECT_FALSE(e.Concludi());
    EXPECT_EQ(LeggiFile(documento), "suo");
    EXPECT_EQ(LeggiFile(dir.filePath("bersaglio")), "mio");
}

}  // namespace
