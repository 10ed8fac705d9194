#include <gtest/gtest.h>

#include "Importa.h"
#include "Setup.h"
#include "app/Cp1252.h"
#include "support/AmbienteProva.h"  // readable QStrings in failures

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <functional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    QString Scarti(const QString& file = {}) const {
        return (file.isEmpty() ? File() : file) + ".scarti.csv";
    }

    // Runs the command on a file with this content; keeps what it printed.
    int Importa(const QByteArray& contenuto, const QString& azienda = "01",
                const QStringList& opzioni = {}) {
        ScriviFile(File(), contenuto);
        return Comando(File(), azienda, opzioni);
    }
    int Comando(const QString& file, const QString& azienda = "01",
                const QStringList& opzioni = {}) {
        out_.clear();
        err_.clear();
        QTextStream out(&out_), err(&err_);
        return setup::Esegui(QStringList{dir_.path(), azienda, "--importa-clienti", file} + opzioni,
                             out, err);
    }
    QString Sql(const QString& query) const { return Sqlite3(Ditta(), query); }
    // The rejects file's lines, heading first, decoded as its BOM says.
    std::string Righe(const QString& file = {}) const {
        const QByteArray b = LeggiFile(Scarti(file));
        const QString t = b.startsWith("\xEF\xBB\xBF") ? QString::fromUtf8(b.mid(3)) : DaCp1252(b);
        return t.split(QRegularExpression("\r\n|\r|\n"), Qt::SkipEmptyParts)
            .join('\n')
            .toStdString();
    }

    QTemporaryDir dir_;
    QString out_, err_;
};

// A list headed by the column names, as mdb-export or a spreadsheet writes it: every field
// through the form's rules, codes kept, taken or refused, and the counts add up. The
// rejected lines come back in the list's own shape, each with its reason.
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
        ",DATA,,,,,,31 12 2001,,\r\n"
        ",PROVINCIA,,XX,ZZ,RSSMRA85T10A56,0123,,,\r\n"
        ",\"IN\r\nDUE RIGHE\",,,,,,,,\r\n"
        ",,,,,,,,,\r\n"
        ",TROPPI,,,,,,,,,,,\r\n";
    EXPECT_EQ(Importa(lista), 1);
    EXPECT_TRUE(out_.contains("come i nomi delle colonne di Clienti, separatore ',', UTF-8"))
        << out_.toStdString();
    EXPECT_TRUE(out_.contains("colonne ignorate: Note"));
    EXPECT_TRUE(out_.contains("righe lette: 11, importate: 4, scartate: 7")) << out_.toStdString();
    EXPECT_TRUE(out_.contains("righe vuote saltate: 1"));
    EXPECT_TRUE(out_.contains("con un testo tagliato alla larghezza della colonna: 1"));
    EXPECT_TRUE(err_.contains("7 righe scartate")) << err_.toStdString();

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
    EXPECT_EQ(Righe(),
              "CliCodice,CliRagsoc,CliIndirizzo,CliNazione,CliProvincia,CliCodiceFiscale,"
              "CliPartitaIva,CliEsenzioneDat,CliAcronimo,Note,MOTIVO SCARTO\n"
              "40,GIA' MEMORIZZATO,,,,,,,,,riga 5: codice 40 già memorizzato: non sovrascritto\n"
              "7,DOPPIO,,,,,,,,,riga 6: codice 7 già alla riga 2\n"
              "x7,CODICE NON NUMERICO,,,,,,,,,riga 7: codice x7 non è un numero intero da 1 a "
              "2147483646\n"
              ",DATA,,,,,,31/02/2001,,,riga 8: data di esenzione 31/02/2001 inesistente\n"
              ",DATA,,,,,,31 12 2001,,,riga 9: data di esenzione 31 12 2001 inesistente\n"
              ",PROVINCIA,,XX,ZZ,RSSMRA85T10A56,0123,,,,riga 10: codice fiscale RSSMRA85T10A56 né "
              "di 16 caratteri né di 11 cifre; nazione XX assente da NAZIONI; provincia ZZ "
              "assente da PROVINCIE\n"
              ",TROPPI,,,,,,,,,,,,riga 14: 13 campi dove l'intestazione ne ha 10");

    // A clean run removes the rejects of the last one.
    EXPECT_EQ(Importa("CliRagsoc\nULTIMO\n"), 0);
    EXPECT_FALSE(QFile::exists(Scarti()));
    EXPECT_EQ(Sql("SELECT max(CliCodice) FROM Clienti"), "44");
}

// A fiscal code or an Italian VAT number of the right length whose check character does not
// match is refused, and the reason says which; --senza-cifre takes them as they are.
TEST_F(ImportaTest, CifreDiControllo) {
    const QByteArray lista =
        "CliRagsoc;CliNazione;CliCodiceFiscale;CliPartitaIva\n"
        "UNO;IT;RCCMNL83S18D969A;\n"
        "DUE;IT;00743110158;00743110158\n"
        "TRE;;;01234561015\n";
    EXPECT_EQ(Importa(lista + "QUATTRO;DE;RCCMNL83S18DVSVX;123456789\n"), 1);
    EXPECT_EQ(Righe(),
              "CliRagsoc;CliNazione;CliCodiceFiscale;CliPartitaIva;MOTIVO SCARTO\n"
              "UNO;IT;RCCMNL83S18D969A;;riga 2: codice fiscale RCCMNL83S18D969A: carattere di "
              "controllo errato\n"
              "DUE;IT;00743110158;00743110158;\"riga 3: codice fiscale 00743110158: cifra di "
              "controllo errata; partita IVA 00743110158: cifra di controllo errata\"\n"
              "TRE;;;01234561015;riga 4: partita IVA 01234561015: codice ufficio 101 inesistente");
    EXPECT_EQ(Sql("SELECT CliRagsoc FROM Clienti"), "QUATTRO");

    EXPECT_EQ(Importa(lista, "01", {"--senza-cifre"}), 0) << err_.toStdString();
    EXPECT_EQ(Sql("SELECT count(*) FROM Clienti"), "4");
}

// The import refuses a fiscal code or VAT number as the client form does: held by a stored
// client or by an earlier accepted line, where the form looks for a holder (an 11-digit
// number among the VAT numbers and the fiscal codes, a short key as the start of one); empty
// ones never.
TEST_F(ImportaTest, IdentificativiGiaPresenti) {
    ASSERT_EQ(Importa("CliCodice;CliRagsoc;CliNazione;CliCodiceFiscale;CliPartitaIva\n"
                      "5;ROSSI MARIO;IT;RSSMRA85T10A562S;01234560017\n"
                      "6;MULLER GMBH;DE;;123456789\n"
                      "7;BETA SRL;IT;00743110157;\n"
                      "8;WIEN GMBH;AT;;ATU12345678\n"),
              0)
        << err_.toStdString();
    const QByteArray lista =
        "CliRagsoc;CliNazione;CliCodiceFiscale;CliPartitaIva\n"
        "MINUSCOLO;IT;rssmra85t10a562s;\n"         // 2: the stored fiscal code
        "STESSA PIVA;IT;;01234560017\n"            // 3: the stored VAT number
        "CF NUMERICO;IT;01234560017;\n"            // 4: among the VAT numbers
        "INIZIO;DE;;12345678\n"                    // 5: the start of a stored one
        "PIU LUNGA;DE;;1234567890\n"               // 6: longer: another number
        "BETA;IT;;00743110157\n"                   // 7: a stored company's fiscal code
        "NUOVO;IT;BNCMRA80A01H501A;\n"             // 8
        "COPIA;IT;BNCMRA80A01H501A;\n"             // 9: as line 8
        "SCARTATA;ZZ;VRDLGU70A01F205R;\n"          // 10: refused, so it holds nothing
        "DOPO LA SCARTATA;IT;VRDLGU70A01F205R;\n"  // 11
        "SENZA;IT;;\n"                             // 12
        "SENZA ANCHE LUI;IT;;\n"                   // 13
        "ALTRA WIEN;AT;;atu12345678\n"             // 14: a stored foreign one
        "PARIGI;FR;;FR4030326504\n"                // 15
        "COPIA DI PARIGI;FR;;FR4030326504\n"       // 16: as line 15
        "DUPONT;FR;;FR40303265045\n";              // 17: cut, it would be line 15's
    EXPECT_EQ(Importa(lista), 1);
    EXPECT_TRUE(out_.contains("righe lette: 16, importate: 6, scartate: 10")) << out_.toStdString();
    EXPECT_EQ(Righe(),
              "CliRagsoc;CliNazione;CliCodiceFiscale;CliPartitaIva;MOTIVO SCARTO\n"
              "MINUSCOLO;IT;rssmra85t10a562s;;riga 2: codice fiscale RSSMRA85T10A562S già "
              "presente: cliente 5 ROSSI MARIO\n"
              "STESSA PIVA;IT;;01234560017;riga 3: partita IVA 01234560017 già presente: "
              "cliente 5 ROSSI MARIO\n"
              "CF NUMERICO;IT;01234560017;;riga 4: codice fiscale 01234560017 già presente: "
              "cliente 5 ROSSI MARIO (partita IVA 01234560017)\n"
              "INIZIO;DE;;12345678;riga 5: partita IVA 12345678 già presente: cliente 6 "
              "MULLER GMBH (partita IVA 123456789)\n"
              "BETA;IT;;00743110157;riga 7: partita IVA 00743110157 già presente: cliente 7 "
              "BETA SRL (codice fiscale 00743110157)\n"
              "COPIA;IT;BNCMRA80A01H501A;;riga 9: codice fiscale BNCMRA80A01H501A già "
              "presente: cliente 10 NUOVO della riga 8\n"
              "SCARTATA;ZZ;VRDLGU70A01F205R;;riga 10: nazione ZZ assente da NAZIONI\n"
              "ALTRA WIEN;AT;;atu12345678;riga 14: partita IVA ATU12345678 già presente: "
              "cliente 8 WIEN GMBH\n"
              "COPIA DI PARIGI;FR;;FR4030326504;riga 16: partita IVA FR4030326504 già presente: "
              "cliente 14 PARIGI della riga 15\n"
              "DUPONT;FR;;FR40303265045;riga 17: partita IVA FR40303265045: più di 12 caratteri");
    EXPECT_EQ(Sql("SELECT group_concat(CliRagsoc, ',') FROM (SELECT CliRagsoc FROM Clienti "
                  "WHERE CliCodice > 8 ORDER BY CliCodice)"),
              "PIU LUNGA,NUOVO,DOPO LA SCARTATA,SENZA,SENZA ANCHE LUI,PARIGI");
}

// The clerk corrects the rejects file and imports it alone; the whole list imported again
// then stores nothing twice. In the program's export shape: Windows-1252, a final ";".
TEST_F(ImportaTest, GliScartiCorrettiSiImportanoENullaDueVolte) {
    const QByteArray lista = Cp1252(
        u"CODICE;RAGIONE SOCIALE;INDIRIZZO;CAP;LOCALITA';PV;NAZ;TELEFONO;PART. IVA;"
        u"CODICE FISCALE;\r\n"
        u";CAFFÈ ROSSI;VIA ROMA 1;00100;ROMA;RM;IT;;01234560017;;\r\n"
        u";BIANCHI MARIO;;;;ZZ;IT;;;BNCMRA80A01H501A;\r\n"
        u";VERDI SRL;\"VIA 1; INT. 2\";;;MI;IT;;0123456789;;\r\n"
        u";ROSSI BIS;;;;;IT;;01234560017;;\r\n"
        u"12;NERI;;;;;IT;;;NRENRE80A01H501H;\r\n");
    EXPECT_EQ(Importa(lista), 1);
    EXPECT_TRUE(out_.contains("righe lette: 5, importate: 2, scartate: 3")) << out_.toStdString();
    const QByteArray scarti = LeggiFile(Scarti());
    EXPECT_EQ(DaCp1252(scarti),
              QString("CODICE;RAGIONE SOCIALE;INDIRIZZO;CAP;LOCALITA';PV;NAZ;TELEFONO;PART. "
                      "IVA;CODICE FISCALE;MOTIVO SCARTO;\r\n"
                      ";BIANCHI MARIO;;;;ZZ;IT;;;BNCMRA80A01H501A;riga 3: provincia ZZ assente da "
                      "PROVINCIE;\r\n"
                      ";VERDI SRL;\"VIA 1; INT. 2\";;;MI;IT;;0123456789;;riga 4: partita IVA "
                      "italiana 0123456789 non di 11 caratteri;\r\n"
                      ";ROSSI BIS;;;;;IT;;01234560017;;riga 5: partita IVA 01234560017 già "
                      "presente: cliente 13 CAFFÈ ROSSI della riga 2;\r\n"));

    QByteArray corretti = scarti;
    corretti.replace(";ZZ;", ";MI;").replace("0123456789;", "01234560025;");
    const QString file = dir_.filePath("corretti.csv");
    ScriviFile(file, corretti);
    EXPECT_EQ(Comando(file), 1) << "the true duplicate stays out";
    EXPECT_TRUE(out_.contains("righe lette: 3, importate: 2, scartate: 1")) << out_.toStdString();
    EXPECT_TRUE(Righe(file).ends_with(
        ";ROSSI BIS;;;;;IT;;01234560017;;riga 4: partita IVA 01234560017 già presente: cliente "
        "13 CAFFÈ ROSSI;"))
        << Righe(file) << ": the earlier reason replaced";

    EXPECT_EQ(Importa(lista), 1);
    EXPECT_TRUE(out_.contains("righe lette: 5, importate: 0, scartate: 5")) << out_.toStdString();
    EXPECT_EQ(Sql("SELECT group_concat(c, ', ') FROM (SELECT CliCodice || ' ' || CliRagsoc || "
                  "' ' || trim(CliIndirizzo) AS c FROM Clienti ORDER BY CliCodice)"),
              "12 NERI , 13 CAFFÈ ROSSI VIA ROMA 1, 14 BIANCHI MARIO , 15 VERDI SRL VIA 1; INT. 2");
}

// The rejects file is written as the program writes its documents: a new file renamed into
// place, readable by its owner alone (links planted under the name: DocumentiTest); a link
// of another user is left alone, and nothing is imported then.
TEST_F(ImportaTest, IlFileDegliScartiNonSegueICollegamenti) {
    const mode_t maschera = umask(0);
    EXPECT_EQ(Importa("CliRagsoc;CliProvincia\nBUONO;\nCATTIVO;ZZ\n"), 1);
    umask(maschera);
    const QByteArray scarti = QFile::encodeName(Scarti());
    struct stat st {};
    ASSERT_EQ(lstat(scarti.constData(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(Righe(),
              "CliRagsoc;CliProvincia;MOTIVO SCARTO\nCATTIVO;ZZ;riga 3: provincia ZZ assente da "
              "PROVINCIE");
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Hidden | QDir::Files).filter(".lista").size(), 0)
        << "no temporary file left";

    if (geteuid() != 0) return;  // a link of another user takes root
    const QString bersaglio = dir_.filePath("segreto");
    ScriviFile(bersaglio, "di root\n");
    QFile::remove(Scarti());
    ASSERT_EQ(symlink(QFile::encodeName(bersaglio).constData(), scarti.constData()), 0);
    ASSERT_EQ(lchown(scarti.constData(), 65534, 65534), 0);
    EXPECT_EQ(Importa("CliRagsoc;CliProvincia\nBUONO;\nCATTIVO;ZZ\n"), 1);
    EXPECT_TRUE(err_.contains("appartiene a un altro utente")) << err_.toStdString();
    EXPECT_EQ(Sql("SELECT count(*) FROM Clienti"), "1");
    EXPECT_EQ(LeggiFile(bersaglio), "di root\n");
    ASSERT_EQ(lstat(scarti.constData(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// A list that changes while it is read stores nothing, and says why. (Every line end,
// bare CR included: LettoreCsvTest.)
TEST_F(ImportaTest, SoloUnElencoFermo) {
    const QString lista = dir_.filePath("in_scrittura.csv");
    const std::function<void()> cambi[] = {
        [&] {
            QFile f(lista);
            f.open(QIODevice::Append);
            f.write("MEZZA RI");
        },
        [&] {
            const timespec tempi[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
            utimensat(AT_FDCWD, QFile::encodeName(lista).constData(), tempi, 0);
        }};
    for (const auto& cambia : cambi) {
        ScriviFile(lista, "CliRagsoc\nTRE\nQUATTRO\n");
        motore::Workspace ws;
        auto ditta = ws.OpenDatabase(Ditta());
        auto tabelle = ws.OpenDatabase(dir_.filePath("tabkes.mdb"));
        bool cambiata = false;
        try {
            setup::ImportaClienti(ws, *ditta, *tabelle, lista, [&](const char*, qint64, qint64) {
                if (!std::exchange(cambiata, true)) cambia();
            });
            ADD_FAILURE() << "imported a list that changed";
        } catch (const std::runtime_error& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains("cambiato mentre veniva letto"))
                << e.what();
        }
    }
    EXPECT_EQ(Sql("SELECT count(*) FROM Clienti"), "0");
}

// A file that is no client list stores nothing and says where and why; so does a failure of
// the database halfway through the writes.
TEST_F(ImportaTest, InputErratiNonLascianoNulla) {
    ASSERT_EQ(Importa("CliRagsoc\nPRIMO\nSCARTATO;ZZ\n"), 1);
    const struct {
        QByteArray contenuto;
        const char* errore;
    } casi[] = {
        {"", "riga 1: file vuoto"},
        {"\n  \r\n", "riga 3: file vuoto"},
        {QByteArray("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Length 5 >>\nstream\n") +
             QByteArray(3, '\0'),
         "riga 6: contenuto binario: non è un testo CSV"},
        {"\xFF\xFE"
         "C\0l\0i\0",
         "riga 1: testo UTF-16: salvare l'elenco come CSV in UTF-8 o Windows-1252"},
        {"Nome;Cognome;Email\nMARIO;ROSSI;m@x\n",
         "riga 1: l'intestazione non è né quella dell'esportazione del programma"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.errore);
        EXPECT_EQ(Importa(c.contenuto), 1);
        EXPECT_TRUE(err_.contains(QString::fromUtf8(c.errore)) && err_.contains("nulla importato"))
            << err_.toStdString();
        EXPECT_FALSE(QFile::exists(Scarti())) << "no line rejected, no stale rejects";
    }
    EXPECT_EQ(Sql("SELECT count(*) FROM Clienti"), "1");

    // Lines in two encodings: the one most lines use wins; the other lines are refused, and
    // come back in the file's encoding.
    EXPECT_EQ(Importa("CliRagsoc;CliLocalita\nCAFF\xC3\x88;FORL\xC3\x8C\nCAFF\xC8;X\n"
                      "ALTRO;CEFAL\xC3\x99\n"),
              1);
    EXPECT_EQ(Righe(),
              "CliRagsoc;CliLocalita;MOTIVO SCARTO\n"
              "CAFFÈ;X;riga 3: testo non UTF-8 in un file UTF-8 (codifiche mescolate)");
    EXPECT_EQ(Sql("SELECT group_concat(trim(CliLocalita)) FROM Clienti WHERE CliLocalita <> ''"),
              "FORLÌ,CEFALÙ");

    // A quote left open, a line of 10 MB, too few or too many fields, a NUL: those lines
    // alone are refused, and their copies keep the rejects file a text, each reason in the
    // reason's column or, where the line cannot be split, never taken for data.
    EXPECT_EQ(Importa("CliRagsoc;CliCap\n\"APERTA;1\nBUONA;2\n" + QByteArray(10 << 20, 'A') +
                      "\nPOCHI\n" + QByteArray("NU\0L;3\n", 7) + "TROPPI;4;5\n"),
              1);
    QStringList righe = QString::fromStdString(Righe()).split('\n');
    ASSERT_EQ(righe.size(), 6);
    EXPECT_EQ(righe[1], "\"APERTA;1;riga 2: virgolette aperte e mai chiuse");
    EXPECT_TRUE(righe[2].startsWith("AAAA")) << righe[2].left(100).toStdString();
    EXPECT_TRUE(righe[2].endsWith("...;riga 4: riga più lunga di 65536 byte (10485760)"));
    EXPECT_LT(righe[2].size(), 2100) << "the rejects file shows the start of such a line";
    EXPECT_EQ(righe[3], "POCHI;riga 5: 1 campo dove l'intestazione ne ha 2");
    EXPECT_EQ(righe[4], "NU?L;3;riga 6: contenuto binario (un byte NUL)");
    EXPECT_EQ(Sql("SELECT '[' || CliCap || ']' FROM Clienti WHERE CliRagsoc = 'BUONA'"),
              "[2        ]");
    const QString scarti = dir_.filePath("scarti.csv");
    ASSERT_TRUE(QFile::rename(Scarti(), scarti));
    EXPECT_EQ(Comando(scarti), 1);
    righe = QString::fromStdString(Righe(scarti)).split('\n');
    ASSERT_EQ(righe.size(), 5);
    EXPECT_EQ(righe[1], "\"APERTA;1;riga 2: virgolette aperte e mai chiuse")
        << "the earlier reason replaced";
    EXPECT_TRUE(righe[2].endsWith("...;riga 3: 2 campi dove l'intestazione ne ha 3"));
    EXPECT_EQ(righe[3], "POCHI;riga 4: 2 campi dove l'intestazione ne ha 3");
    EXPECT_EQ(righe[4], "TROPPI;4;5;riga 6: 4 campi dove l'intestazione ne ha 3");
    EXPECT_EQ(Sql("SELECT count(*) FROM Clienti WHERE CliCap LIKE 'riga%'"), "0");

    // The database refuses the second row: the first is not kept either.
    const QString prima = Sql("SELECT count(*) FROM Clienti");
    Sql("CREATE TRIGGER rifiuta BEFORE INSERT ON Clienti WHEN NEW.CliRagsoc = 'BOOM' "
        "BEGIN SELECT RAISE(ABORT, 'disco guasto'); END");
    EXPECT_EQ(Importa("CliRagsoc;CliProvincia\nUNO;\nBOOM;\nTRE;ZZ\n"), 1);
    EXPECT_TRUE(err_.contains("disco guasto")) << err_.toStdString();
    EXPECT_EQ(Sql("SELECT count(*) FROM Clienti"), prima);
    EXPECT_FALSE(QFile::exists(Scarti())) << "no rejects of a run that stored nothing";

    // A folder named as the list.
    EXPECT_EQ(Comando(dir_.path()), 1);
    EXPECT_TRUE(err_.contains("è una cartella, non un elenco")) << err_.toStdString();

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
