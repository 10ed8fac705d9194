#include "ui/Applicativi.h"

#include "app/Documenti.h"

#include "support/AmbienteProva.h"
#include "ui/Global.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A desktop of its own: association files and desktop files under a temporary folder. GIO
// reads where they live once per process, so the folders are the suite's and each test
// empties them; its lookups wait for GIO to see a change.
class ApplicativiTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        desktop_ = new QTemporaryDir;
        for (const char* v : kVariabili)
            salvate_.push_back({v, qgetenv(v), qEnvironmentVariableIsSet(v)});
        qputenv("XDG_CONFIG_HOME", Cartella("config").toUtf8());
        qputenv("XDG_CONFIG_DIRS", Cartella("xdg").toUtf8());
        qputenv("XDG_DATA_HOME", Cartella("share").toUtf8());
        // The types still come from the system's MIME database, and nothing else of it.
        QFile::link("/usr/share/mime", Cartella("sistema") + "/mime");
        qputenv("XDG_DATA_DIRS",
                (Cartella("usr/share") + ':' + desktop_->filePath("sistema")).toUtf8());
    }
    static void TearDownTestSuite() {
        for (const auto& s : salvate_) s.presente ? qputenv(s.nome, s.valore) : qunsetenv(s.nome);
        salvate_.clear();
        delete desktop_;
    }
    void SetUp() override {
        QFile::remove(desktop_->filePath("config/mimeapps.list"));
        QDir(Cartella("usr/share/applications")).removeRecursively();
        Cartella("usr/share/applications");
        g.EnvironmentSettings.EnvironmentFile = dir.filePath("KestorEx.ini");
        documento = dir.filePath("E_ChkCliC.csv");
        ScriviFile(documento, "CODICE;\r\n");
        argomenti = dir.filePath("argomenti");
        // What an earlier test of this process associated is gone once GIO has noticed.
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return TrovaEseguibile(documento).startsWith('#'); }, 2000));
    }

    static QString Cartella(const QString& nome) {
        QDir(desktop_->path()).mkpath(nome);
        return desktop_->filePath(nome);
    }
    // A program that writes its arguments, one per line, and VARIABILE when it is set.
    QString Programma(const QString& nome) {
        const QString p = dir.filePath(nome);
        ScriviFile(p,
                   "#!/bin/sh\n{ for a in \"$@\"; do echo \"$a\"; done\n"
                   "[ -z \"$VARIABILE\" ] || echo \"VARIABILE=$VARIABILE\"; } > \"" +
                       argomenti.toUtf8() + ".tmp\"\nmv \"" + argomenti.toUtf8() + ".tmp\" \"" +
                       argomenti.toUtf8() + "\"\n");
        QFile::setPermissions(p, QFile::permissions(p) | QFile::ExeOwner);
        return p;
    }
    // The desktop's default for a type: a desktop file with that Exec line, named in the
    // association list. A new name each time, as an installed program would have.
    QString Associa(const QByteArray& exec, const QString& tipo = "text/csv",
                    const QByteArray& altro = "Icon=foglio-icona\n") {
        const QString nome = QString("foglio%1.desktop").arg(++voci_);
        const QString file = desktop_->filePath("usr/share/applications/" + nome);
        ScriviFile(file, "[Desktop Entry]\nType=Application\nName=Foglio di prova\n" + altro +
                             "Exec=" + exec + "\n");
        associazioni_ += tipo.toUtf8() + '=' + nome.toUtf8() + ";\n";
        ScriviFile(desktop_->filePath("config/mimeapps.list"),
                   "[Default Applications]\n" + associazioni_);
        return file;
    }
    static QByteArray Tra(const QString& programma) { return '"' + programma.toUtf8() + '"'; }
    // What the program was started with; the next start writes anew.
    QByteArray Argomenti() {
        QFile f(argomenti);
        if (!QTest::qWaitFor([&] { return f.exists(); }, 5000)) return "<nessuno>";
        const QByteArray a = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        f.remove();
        return a;
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
    static inline std::vector<Salvata> salvate_;
    static inline QTemporaryDir* desktop_ = nullptr;
    static inline int voci_ = 0;
    QByteArray associazioni_;
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
    ScriviFile(g.EnvironmentSettings.EnvironmentFile,
               "[applicativi]\nEXCEL=" + programma.toUtf8() + "\n");
    QString doc = dir.filePath("a b; touch gia_fatto.csv");
    ScriviFile(doc, "x");
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
// the operator is told why. The entry's Exec may start its program through env, with
// arguments around the document.
TEST_F(ApplicativiTest, SenzaPercorsoDecideLAssociazione) {
    QString app = "Excel", doc = documento;
    ApriApplicativo(g, app, doc, "");
    EXPECT_EQ(Testi(), std::vector<QString>{"#Nessuna associazione per\n" + documento});
    EXPECT_EQ(app, Testi().front()) << "the variable holds what was shown";
    EXPECT_EQ(TrovaEseguibile(dir.filePath("manca.csv")),
              "#File non trovato\n" + dir.filePath("manca.csv"));
    EXPECT_EQ(TrovaEseguibile(dir.filePath("nessuna/manca.csv")),
              "#Percorso non trovato\n" + dir.filePath("nessuna/manca.csv"));

    const QString programma = Programma("foglio di calcolo");
    Associa("env VARIABILE=\"uno due\" " + Tra(programma) + " --calc %U");
    QTRY_COMPARE(TrovaEseguibile(documento), QStandardPaths::findExecutable("env"));
    g.Messaggi.AzzeraMostrati();
    app = "Excel";
    ApriApplicativo(g, app, doc, "--riga \"due parole\"", {"--solo-libreoffice"});
    EXPECT_EQ(Argomenti(),
              "--calc\n" + documento.toUtf8() + "\n--riga\ndue parole\nVARIABILE=uno due\n");
    EXPECT_TRUE(Testi().empty());

    // A document without a type cannot be looked up: the missing path is named.
    ScriviFile(g.EnvironmentSettings.EnvironmentFile, "[APPLICATIVI]\nEditor=/non/esiste\n");
    QString editor = "EDITOR", senzaTipo = dir.filePath("LEGGIMI");
    ApriApplicativo(g, editor, senzaTipo, "");
    ASSERT_FALSE(Testi().empty());
    EXPECT_EQ(Testi().back(), "/non/esiste  NON TROVATO");
}

// The field codes of an entry: %c its name, %i its icon as two words, %k its file, %% a
// percent sign; the deprecated codes give nothing, an unknown one makes the entry unusable,
// and an entry that takes no file still gets the document after its own arguments.
TEST_F(ApplicativiTest, ICodiciDelDesktop) {
    const QString programma = Programma("foglio");
    const QString voce =
        Associa(Tra(programma) + " --nome=%c %i --da %k 100%% %d %D %n %N %v %m %f");
    QString app = "Excel", doc = documento;
    QTRY_COMPARE(TrovaEseguibile(documento), programma);
    ApriApplicativo(g, app, doc, "");
    EXPECT_EQ(Argomenti(), "--nome=Foglio di prova\n--icon\nfoglio-icona\n--da\n" + voce.toUtf8() +
                               "\n100%\n" + documento.toUtf8() + "\n");

    // Another program, so that waiting for GIO to see the new entry can tell it apart.
    Associa(Tra(Programma("nuovo")) + " %i --nuovo", "text/csv", "");
    QTRY_COMPARE(QFileInfo(TrovaEseguibile(documento)).fileName(), "nuovo");
    ApriApplicativo(g, app = "Excel", doc, "");
    EXPECT_EQ(Argomenti(), "--nuovo\n" + documento.toUtf8() + "\n") << "no icon, no --icon";

    Associa(Tra(programma) + " %z %f");
    QTRY_COMPARE(TrovaEseguibile(documento), "#Formato errato\n" + documento);
    ApriApplicativo(g, app = "Excel", doc, "");
    EXPECT_EQ(Testi(), std::vector<QString>{"#Formato errato\n" + documento});
}

// A program made for a terminal is started in the desktop's terminal; without one it cannot be.
TEST_F(ApplicativiTest, UnProgrammaPerIlTerminale) {
    const QString percorso = qEnvironmentVariable("PATH");
    const auto ripristina = qScopeGuard([&] { qputenv("PATH", percorso.toUtf8()); });
    QDir().mkpath(dir.filePath("terminale"));
    qputenv("PATH", dir.filePath("terminale").toUtf8());
    const QString editor = Programma("editor");
    Associa(Tra(editor) + " %F", "text/csv", "Terminal=true\n");
    QTRY_COMPARE(TrovaEseguibile(documento), "#Formato errato\n" + documento);

    // The scripts need the system's own programs again; the terminal here comes first.
    qputenv("PATH", (dir.filePath("terminale") + ':' + percorso).toUtf8());
    const QString terminale = Programma("terminale/x-terminal-emulator");
    QTRY_COMPARE(TrovaEseguibile(documento), terminale);
    QString app = "Excel", doc = documento;
    ApriApplicativo(g, app, doc, "");
    EXPECT_EQ(Argomenti(), "-e\n" + editor.toUtf8() + '\n' + documento.toUtf8() + '\n');
}

// A type with no program of its own opens with the one of its parent (text/csv with that of
// text/plain), and so does one whose own program is missing, as on the desktop's menus.
TEST_F(ApplicativiTest, SenzaProgrammaDecideIlTipoPadre) {
    const QString programma = Programma("editor");
    Associa(Tra(programma) + " %f", "text/plain");
    QTRY_COMPARE(TrovaEseguibile(documento), programma);
    Associa(Tra(dir.filePath("non esiste")) + " %f");
    QTest::qWait(200);
    EXPECT_EQ(TrovaEseguibile(documento), programma);
}

// LibreOffice gets its import options right after its name, from the configured path as from
// a desktop entry, through env too; another program never does.
TEST_F(ApplicativiTest, LibreOfficeRiceveLeSueOpzioni) {
    for (const char* nome : {"soffice", "/usr/bin/localc", "libreoffice", "libreoffice7.4"})
        EXPECT_TRUE(ProgrammaLibreOffice(nome)) << nome;
    for (const char* nome : {"soffice-helper", "/opt/mylibreoffice", "calc", "/soffice/foglio"})
        EXPECT_FALSE(ProgrammaLibreOffice(nome)) << nome;

    const QStringList opzioni{"--infilter=Text - txt - csv (StarCalc):59", "--norestore"};
    ScriviFile(g.EnvironmentSettings.EnvironmentFile,
               "[APPLICATIVI]\nExcel=" + Programma("soffice").toUtf8() + "\n");
    QString app = "Excel", doc = documento;
    ApriApplicativo(g, app, doc, "--riga", opzioni);
    EXPECT_EQ(Argomenti(), opzioni.join('\n').toUtf8() + '\n' + documento.toUtf8() + "\n--riga\n");

    QFile::remove(g.EnvironmentSettings.EnvironmentFile);
    Associa("env VARIABILE=1 " + Tra(Programma("soffice")) + " %U");
    QTRY_COMPARE(TrovaEseguibile(documento), QStandardPaths::findExecutable("env"));
    ApriApplicativo(g, app = "Excel", doc, "", opzioni);
    EXPECT_EQ(Argomenti(),
              opzioni.join('\n').toUtf8() + '\n' + documento.toUtf8() + "\nVARIABILE=1\n");
    EXPECT_TRUE(Testi().empty());
}

}  // namespace
