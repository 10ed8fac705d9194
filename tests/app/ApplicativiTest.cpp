#include "app/Applicativi.h"

#include "ui/Global.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A desktop of its own: association files and desktop files under a temporary folder.
class ApplicativiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* v : kVariabili)
            salvate_.push_back({v, qgetenv(v), qEnvironmentVariableIsSet(v)});
        qputenv("XDG_CONFIG_HOME", Cartella("config").toUtf8());
        qputenv("XDG_CONFIG_DIRS", Cartella("xdg").toUtf8());
        qputenv("XDG_DATA_HOME", Cartella("share").toUtf8());
        // The types still come from the system's MIME database, and nothing else of it.
        QFile::link("/usr/share/mime", Cartella("sistema") + "/mime");
        qputenv("XDG_DATA_DIRS", (Cartella("usr/share") + ':' + dir.filePath("sistema")).toUtf8());
        Cartella("usr/share/applications");
        g.EnvironmentSettings.EnvironmentFile = dir.filePath("KestorEx.ini");
        documento = dir.filePath("E_ChkCliC.csv");
        Scrivi(documento, "CODICE;\r\n");
        argomenti = dir.filePath("argomenti");
    }
    void TearDown() override {
        for (const auto& s : salvate_) s.presente ? qputenv(s.nome, s.valore) : qunsetenv(s.nome);
    }

    QString Cartella(const QString& nome) {
        QDir(dir.path()).mkpath(nome);
        return dir.filePath(nome);
    }
    static void Scrivi(const QString& nome, const QByteArray& dati) {
        QFile f(nome);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(dati);
    }
    // A program that writes its arguments, one per line.
    QString Programma(const QString& nome) {
        const QString p = dir.filePath(nome);
        Scrivi(p, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"" + argomenti.toUtf8() +
                      "\"\n");
        QFile::setPermissions(p, QFile::permissions(p) | QFile::ExeOwner);
        return p;
    }
    // The desktop's default for CSV files, as its association list names it.
    void Associa(const QString& programma, const QString& tipo = "text/csv") {
        Scrivi(dir.filePath("usr/share/applications/foglio.desktop"),
               "[Desktop Entry]\nType=Application\nName=Foglio\nExec=\"" + programma.toUtf8() +
                   "\" --calc %U\n");
        Scrivi(dir.filePath("config/mimeapps.list"),
               "[Default Applications]\n" + tipo.toUtf8() + "=foglio.desktop;\n");
    }
    QByteArray Argomenti() {
        QFile f(argomenti);
        if (!QTest::qWaitFor([&] { return f.exists(); }, 5000)) return "<nessuno>";
        QTest::qWait(100);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::vector<QString> Testi() {
        std::vector<QString> v;
        for (const auto& m : g.Messaggi.Mostrati()) v.push_back(m.testo);
        return v;
    }

    static constexpr const char* kVariabili[] = {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS",
                                                 "XDG_DATA_HOME", "XDG_DATA_DIRS"};
    struct Salvata {
        const char* nome;
        QByteArray valore;
        bool presente;
    };
    std::vector<Salvata> salvate_;
    QTemporaryDir dir;
    Global g;
    QString documento, argomenti;
};

TEST(TraVirgolette, SoloUnPercorsoConUnoSpazio) {
    QString a = "/home/ufficio/My Files/E_ChkCliC.csv", b = "/tmp/E_ChkCliC.csv", c = "  ";
    EXPECT_EQ(TraVirgolette(a), "\"/home/ufficio/My Files/E_ChkCliC.csv\"");
    EXPECT_EQ(a, "\"/home/ufficio/My Files/E_ChkCliC.csv\"") << "the variable too";
    EXPECT_EQ(TraVirgolette(b), "/tmp/E_ChkCliC.csv");
    EXPECT_EQ(TraVirgolette(c), "  ");
}

// The configured program, whatever the case of its key, gets the document as one argument,
// blanks included, and a name that looks like a command stays a name.
TEST_F(ApplicativiTest, IlProgrammaConfiguratoRiceveIlDocumento) {
    const QString programma = Programma("foglio di calcolo");
    Scrivi(g.EnvironmentSettings.EnvironmentFile,
           "[applicativi]\nEXCEL=" + programma.toUtf8() + "\n");
    QString doc = dir.filePath("a b; touch gia_fatto.csv");
    Scrivi(doc, "x");
    QString app = "excel";
    ApriApplicativo(g, app, doc, "");
    EXPECT_EQ(Argomenti(), doc.mid(1, doc.size() - 2).toUtf8() + "\n");
    EXPECT_EQ(app, '"' + programma + '"') << "the path used, quoted";
    EXPECT_FALSE(QFile::exists(dir.filePath("gia_fatto.csv")));
    EXPECT_TRUE(Testi().empty());

    QString altro = "WORD";
    ApriApplicativo(g, altro, doc, "");
    EXPECT_EQ(altro, "WORD") << "any other program name does nothing";
}

// With no program configured, the desktop's association for the type decides; with none,
// the operator is told why.
TEST_F(ApplicativiTest, SenzaPercorsoDecideLAssociazione) {
    QString app = "Excel", doc = documento;
    ApriApplicativo(g, app, doc, "");
    EXPECT_EQ(Testi(), std::vector<QString>{"#Nessuna associazione per\n" + documento});
    EXPECT_EQ(TrovaEseguibile(dir.filePath("manca.csv")),
              "#File non trovato\n" + dir.filePath("manca.csv"));
    EXPECT_EQ(TrovaEseguibile(dir.filePath("nessuna/manca.csv")),
              "#Percorso non trovato\n" + dir.filePath("nessuna/manca.csv"));

    Associa(dir.filePath("non esiste"));
    EXPECT_EQ(TrovaEseguibile(documento), "#Formato errato\n" + documento);

    const QString programma = Programma("calc");
    Associa(programma);
    EXPECT_EQ(TrovaEseguibile(documento), programma);
    g.Messaggi.AzzeraMostrati();
    app = "Excel";
    ApriApplicativo(g, app, doc, "--riga");
    EXPECT_EQ(Argomenti(), documento.toUtf8() + "\n--riga\n");
    EXPECT_TRUE(Testi().empty());

    // A document without a type cannot be looked up: the missing path is named.
    Scrivi(g.EnvironmentSettings.EnvironmentFile, "[APPLICATIVI]\nEditor=/non/esiste\n");
    QString editor = "EDITOR", senzaTipo = dir.filePath("LEGGIMI");
    ApriApplicativo(g, editor, senzaTipo, "");
    ASSERT_FALSE(Testi().empty());
    EXPECT_EQ(Testi().back(), "/non/esiste  NON TROVATO");
}

// A CSV type with no program of its own opens with the one for plain text.
TEST_F(ApplicativiTest, UnTipoSenzaProgrammaPrendeQuelloDelPadre) {
    const QString programma = Programma("editor");
    Associa(programma, "text/plain");
    EXPECT_EQ(TrovaEseguibile(documento), programma);
}

}  // namespace
