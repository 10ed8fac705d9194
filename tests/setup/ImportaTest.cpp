#include <gtest/gtest.h>

#include "Importa.h"
#include "Setup.h"
#include "support/AmbienteProva.h"  // readable QStrings in failures

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

// An installation made by the setup tool, with its real code tables.
class ImportaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        setup::CreaTabelle(dir_.filePath("tabkes.mdb"));
        QDir(dir_.path()).mkpath("01");
        setup::CreaAzienda(Ditta(), 0);
    }
    QString Ditta() const { return dir_.filePath("01/Completo.mdb"); }
    QString File() const { return dir_.filePath("lista.csv"); }

    // Runs the command on a file with this content; keeps what it printed.
    int Importa(const QByteArray& contenuto, const QString& azienda = "01",
                const QStringList& opzioni = {}) {
        QFile f(File());
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(contenuto);
        f.close();
        out_.clear();
        err_.clear();
        QTextStream out(&out_), err(&err_);
        return setup::Esegui(
            QStringList{dir_.path(), azienda, "--importa-clienti", File()} + opzioni, out, err);
    }

    std::string Sql(const QString& query) const {
        QProcess p;
        p.start("sqlite3", {"-batch", Ditta(), query});
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toStdString();
    }
    // The rejects file's lines after its heading, without the quotes of its fields.
    std::string Scarti() const { return Righe().join('\n').toStdString(); }
    QStringList Righe() const {
        QFile f(File() + ".scarti.csv");
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList righe = QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts);
        EXPECT_EQ(righe.value(0), QString::fromUtf8("\uFEFFRIGA;MOTIVO;TESTO"));
        righe.removeFirst();
        for (QString& r : righe) r.remove('"');
        return righe;
    }

    QTemporaryDir dir_;
    QString out_, err_;
};

// A list headed by the column names, as mdb-export or a spreadsheet writes it: every field
// through the form's rules, codes kept, taken or refused, and the counts add up.
TEST_F(ImportaTest, LeRegoleDelModuloSuOgniCampo) {
    ASSERT_EQ(Importa("CliRagsoc,CliCodice\nPRIMO,40\n"), 0) << err_.toStdString();
    const QByteArray lista =
        "\xEF\xBB\xBF"
        "CliCodice,CliRagsoc,CliIndirizzo,CliNazione,CliProvincia,CliCodiceFiscale,"
        "CliPartitaIva,CliEsenzioneDat,CliAcronimo,Note\r\n"
        "7,\"rossi & figli, srl\",\"via dei mille 1234567890123456789012345\",380,rm,"
        "RSSMRA85T10A562S,00743110157,01/01/2001,,x\r\n"
        ",\"caffè \"\"da mario\"\"\",,de,,12345670017,,2001-01-01 00:00:00,BAR,\r\n"
        ",bianchi,,,mi,,,36892,,\r\n"
        "40,GIA' MEMORIZZATO,,,,,,,,\r\n"
        "7,DOPPIO,,,,,,,,\r\n"
        "x7,CODICE NON NUMERICO,,,,,,,,\r\n"
        ",DATA,,,,,,31/02/2001,,\r\n"
        ",PROVINCIA,,XX,ZZ,RSSMRA85T10A56,0123,,,\r\n"
        ",\"IN\r\nDUE RIGHE\",,,,,,,,\r\n"
        ",,,,,,,,,\r\n"
        ",TROPPI,,,,,,,,,,,\r\n";
    EXPECT_EQ(Importa(lista), 1);
    EXPECT_TRUE(out_.contains("as Clienti column names, separator ',', UTF-8"))
        << out_.toStdString();
    EXPECT_TRUE(out_.contains("columns ignored: Note"));
    EXPECT_TRUE(out_.contains("lines read: 10, imported: 4, rejected: 6")) << out_.toStdString();
    EXPECT_TRUE(out_.contains("empty lines skipped: 1"));
    EXPECT_TRUE(out_.contains("with a text cut to its column's width: 1"));
    EXPECT_TRUE(err_.contains("6 lines rejected")) << err_.toStdString();

    EXPECT_EQ(Sql("SELECT CliCodice, CliRagsoc, trim(CliIndirizzo), CliNazione, CliProvincia, "
                  "trim(CliCodiceFiscale), trim(CliPartitaIva), CliEsenzioneDat, "
                  "trim(CliAcronimo) FROM Clienti WHERE CliCodice <> 40 ORDER BY CliCodice"),
              "7|ROSSI & FIGLI, SRL|VIA DEI MILLE 123456789012345678901|IT |RM |"
              "RSSMRA85T10A562S|00743110157|36892|ROSSI & FIGLI, SRL\n"
              "41|CAFFè \"DA MARIO\"||DE |   ||12345670017|36892|BAR\n"
              "42|BIANCHI||IT |MI |||36892|BIANCHI\n"
              "43|IN DUE RIGHE||IT |   |||0|IN DUE RIGHE");
    EXPECT_EQ(Sql("SELECT length(CliIndirizzo), length(CliCodiceFiscale) FROM Clienti "
                  "WHERE CliCodice = 42"),
              "35|16")
        << "stored at the full width, as the form stores them";
    EXPECT_EQ(Scarti(),
              QStringList({"5;code 40 already stored: not overwritten;40,GIA' MEMORIZZATO,,,,,,,,",
                           "6;code 7 already on line 2;7,DOPPIO,,,,,,,,",
                           "7;code x7 is not a whole number from 1 to 2147483646;x7,CODICE NON "
                           "NUMERICO,,,,,,,,",
                           "8;exemption date 31/02/2001 does not exist;,DATA,,,,,,31/02/2001,,",
                           "9;fiscal code RSSMRA85T10A56 has neither 16 characters nor 11 digits; "
                           "nation XX not in NAZIONI; province ZZ not in PROVINCIE;"
                           ",PROVINCIA,,XX,ZZ,RSSMRA85T10A56,0123,,,",
                           "13;13 fields where the heading has 10;,TROPPI,,,,,,,,,,,"})
                  .join('\n')
                  .toStdString());

    // A clean run removes the rejects of the last one.
    EXPECT_EQ(Importa("CliRagsoc\nULTIMO\n"), 0);
    EXPECT_FALSE(QFile::exists(File() + ".scarti.csv"));
    EXPECT_EQ(Sql("SELECT max(CliCodice) FROM Clienti"), "44");
}

// A fiscal code or an Italian VAT number of the right length whose check character does not
// match is refused, and the reason says which; --senza-cifre takes them as they are.
TEST_F(ImportaTest, CifreDiControllo) {
    const QByteArray lista =
        "CliRagsoc;CliNazione;CliCodiceFiscale;CliPartitaIva\n"
        "UNO;IT;RCCMNL83S18D969A;\n"
        "DUE;IT;00743110158;00743110158\n"
        "TRE;;;01234561015\n"
        "QUATTRO;DE;RCCMNL83S18DVSVX;00743110158\n";
    EXPECT_EQ(Importa(lista), 1);
    EXPECT_EQ(Scarti(),
              "2;codice fiscale RCCMNL83S18D969A: carattere di controllo errato;"
              "UNO;IT;RCCMNL83S18D969A;\n"
              "3;codice fiscale 00743110158: cifra di controllo errata; partita IVA 00743110158: "
              "cifra di controllo errata;DUE;IT;00743110158;00743110158\n"
              "4;partita IVA 01234561015: codice ufficio 101 inesistente;TRE;;;01234561015");
    EXPECT_EQ(Sql("SELECT CliRagsoc FROM Clienti"), "QUATTRO");

    EXPECT_EQ(Importa(lista, "01", {"--senza-cifre"}), 0) << err_.toStdString();
    EXPECT_EQ(Sql("SELECT count(*) FROM Clienti"), "5");
}

// A file that is no client list stores nothing and says where and why; so does a failure of
// the database halfway through the writes.
TEST_F(ImportaTest, InputErratiNonLascianoNulla) {
    ASSERT_EQ(Importa("CliRagsoc\nPRIMO\n"), 0);
    const struct {
        QByteArray contenuto;
        const char* riga;  // the rejects file's line
    } casi[] = {
        {"", "1;empty file;"},
        {"\n  \r\n", "3;empty file;"},
        {QByteArray("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Length 5 >>\nstream\n") +
             QByteArray(3, '\0'),
         "6;binary content: not a CSV text;"},
        {"\xFF\xFE"
         "C\0l\0i\0",
         "1;UTF-16 text: save the list as CSV in UTF-8 or Windows-1252;"},
        {"Nome;Cognome;Email\nMARIO;ROSSI;m@x\n",
         "1;the heading matches neither the program's export (CODICE;RAGIONE SOCIALE;...) nor "
         "the Clienti column names (CliCodice, CliRagsoc, ...);Nome;Cognome;Email"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.riga);
        EXPECT_EQ(Importa(c.contenuto), 1);
        EXPECT_TRUE(err_.contains("nothing imported")) << err_.toStdString();
        EXPECT_EQ(Scarti(), c.riga);
    }
    EXPECT_EQ(Sql("SELECT count(*) FROM Clienti"), "1");

    // Lines in two encodings: the one most lines use wins; the other lines are refused.
    EXPECT_EQ(Importa("CliRagsoc;CliLocalita\nCAFF\xC3\x88;FORL\xC3\x8C\nCAFF\xC8;X\n"
                      "ALTRO;CEFAL\xC3\x99\n"),
              1);
    EXPECT_EQ(Scarti(), "3;not UTF-8 in a UTF-8 file (mixed encodings);CAFFÈ;X");
    EXPECT_EQ(Sql("SELECT group_concat(trim(CliLocalita)) FROM Clienti WHERE CliLocalita <> ''"),
              "FORLÌ,CEFALÙ");

    // A quote left open, a line of 10 MB, too few fields: those lines alone are refused.
    EXPECT_EQ(Importa("CliRagsoc;CliCap\n\"APERTA;1\nBUONA;2\n" + QByteArray(10 << 20, 'A') +
                      "\nPOCHI\n"),
              1);
    const QStringList righe = Righe();
    ASSERT_EQ(righe.size(), 3);
    EXPECT_EQ(righe[0], "2;unterminated quote;APERTA;1");
    EXPECT_TRUE(righe[1].startsWith("4;line longer than 65536 bytes (10485760);AAAA"));
    EXPECT_LT(righe[1].size(), 2100) << "the rejects file shows the start of such a line";
    EXPECT_EQ(righe[2], "5;1 fields where the heading has 2;POCHI");
    EXPECT_EQ(Sql("SELECT '[' || CliCap || ']' FROM Clienti WHERE CliRagsoc = 'BUONA'"),
              "[2        ]");

    // The database refuses the second row: the first is not kept either.
    const std::string prima = Sql("SELECT count(*) FROM Clienti");
    Sql("CREATE TRIGGER rifiuta BEFORE INSERT ON Clienti WHEN NEW.CliRagsoc = 'BOOM' "
        "BEGIN SELECT RAISE(ABORT, 'disco guasto'); END");
    EXPECT_EQ(Importa("CliRagsoc\nUNO\nBOOM\nTRE\n"), 1);
    EXPECT_TRUE(err_.contains("disco guasto")) << err_.toStdString();
    EXPECT_EQ(Sql("SELECT count(*) FROM Clienti"), prima);

    // Into a company that does not exist: nothing is created.
    EXPECT_EQ(Importa("CliRagsoc\nUNO\n", "02"), 1);
    EXPECT_FALSE(QFile::exists(dir_.filePath("02")));
    QTextStream out(&out_), err(&err_);
    EXPECT_EQ(setup::Esegui({dir_.path(), "01", "--importa-clienti"}, out, err), 2);
    EXPECT_EQ(
        setup::Esegui({dir_.path(), "01", "--importa-clienti=" + File(), "--sample-clients", "3"},
                      out, err),
        2);
}

}  // namespace
