#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>

#include "Setup.h"
#include "data/RegoleCliente.h"
#include "engine/Motore.h"
#include "support/AmbienteProva.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Esito {
    int codice = -1;
    QString out;
    QString err;
};

Esito Avvia(const QString& programma, const QStringList& argomenti) {
    QProcess p;
    p.start(programma, argomenti);
    if (!p.waitForFinished(120000)) return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

Esito Strumento(const QStringList& argomenti) {
    return Avvia(QStringLiteral(ANAGRAFICA_SETUP_BIN), argomenti);
}

QByteArray Impronta(const QString& percorso) {
    return QCryptographicHash::hash(LeggiFile(percorso), QCryptographicHash::Sha256);
}

}  // namespace

TEST(Setup, CreaIDueDatabaseConIDatiDiRiferimento) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    // A copy far from the source tree: the data must travel inside the binary.
    const QString copia = tmp.filePath(QStringLiteral("anagrafica-setup"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ANAGRAFICA_SETUP_BIN), copia));
    const QString radice = tmp.filePath(QStringLiteral("ufficio/dati"));
    const Esito e = Avvia(copia, {radice, QStringLiteral("ROSSI"), "--sample-clients", "50"});
    ASSERT_EQ(e.codice, 0) << e.err.toStdString();
    const QString tabkes = radice + "/tabkes.mdb";
    const QString completo = radice + "/ROSSI/Completo.mdb";
    EXPECT_FALSE(QFile::exists(completo + ".partial"));
    EXPECT_TRUE(QFileInfo(radice + "/temp").isDir()) << "where the environment file's TEMP is";

    const QString& t = tabkes;
    const QString& c = completo;
    const QString indici = "SELECT name FROM sqlite_master WHERE type='index' ORDER BY name";
    const struct {
        const QString& db;
        QString query, atteso;
    } controlli[] = {
        // clang-format off
        {t, "PRAGMA integrity_check", "ok"}, {c, "PRAGMA integrity_check", "ok"},
        {t, indici, "LOCALITA.primaria\nNAZIONI.CodiceISO\nNAZIONI.Descrizione\n"
                    "NAZIONI.RicercaCodice\nNAZIONI.RicercaDescrizione\nNAZIONI.primaria\n"
                    "PROVINCIE.Descrizione\n"
                    "PROVINCIE.RicercaCodice\nPROVINCIE.RicercaDescrizione\nPROVINCIE.primaria"},
        {c, indici, "Clienti.CliCap\nClienti.CliCodiceFiscale\nClienti.CliPartitaIva\n"
                    "Clienti.CliRagsoc\nClienti.RicercaCap\nClienti.RicercaCodiceFiscale\n"
                    "Clienti.RicercaPartitaIva\nClienti.RicercaRagsoc\nClienti.primaria"},
        {t, "SELECT count(*) FROM PROVINCIE", "107"},
        {t, "SELECT Descrizione FROM PROVINCIE WHERE CODICE IN ('FC','BZ','AO') ORDER BY CODICE",
         "VALLE D'AOSTA\nBOLZANO\nFORLI'-CESENA"},
        // Trailing blanks do not count in comparisons, as the program pads its keys.
        {t, "SELECT Descrizione FROM PROVINCIE WHERE CODICE = 'RM   '", "ROMA"},
        {t, "SELECT count(*) > 7900 FROM (SELECT DISTINCT LocLocalita, LocProvincia FROM LOCALITA)",
         "1"},
        {t, "SELECT count(*) > 50 FROM LOCALITA WHERE LocLocalita='ROMA'", "1"},
        {t, "SELECT LocProvincia || LocRegione FROM LOCALITA "
            "WHERE LocLocalita IN ('CEFALU''', 'FORLI''') GROUP BY 1", "FCEMI\nPASIC"},
        {t, "SELECT count(*) FROM LOCALITA WHERE LocPrefisso IS NOT NULL OR LocRegione IS NULL "
            "OR length(LocCAP) <> 5", "0"},
        {t, "SELECT CodiceISO || Descrizione FROM NAZIONI WHERE CODICE='380'", "ITITALIA"},
        {t, "SELECT CodiceISO FROM NAZIONI WHERE CODICE='086'", "IO"},
        {t, "SELECT Descrizione FROM NAZIONI WHERE CodiceISO='PE'", "PERU'"},
        {c, "SELECT count(*), min(CliCodice), max(CliCodice) FROM Clienti", "50|1|50"},
        {c, "SELECT count(*) FROM Clienti WHERE CliRagsoc <> trim(CliRagsoc) "
            "OR length(CliRagsoc) > 35 OR length(CliIndirizzo) <> 35 OR length(CliLocalita) <> 35 "
            "OR length(CliCap) <> 9 OR length(CliProvincia) <> 3 OR length(CliPartitaIva) <> 12 "
            "OR length(CliCodiceFiscale) <> 16 OR length(CliAcronimo) <> 20 "
            "OR length(CliEsenzioneNum) <> 12 OR CliEsenzioneDat IS NULL", "0"},
        // clang-format on
    };
    for (const auto& k : controlli) EXPECT_EQ(Sqlite3(k.db, k.query), k.atteso);
    // A second company shares the office's code tables, which stay as they were.
    const QByteArray prima = Impronta(tabkes);
    const Esito altra = Strumento({radice, QStringLiteral("BIANCHI")});
    EXPECT_EQ(altra.codice, 0) << altra.err.toStdString();
    EXPECT_TRUE(altra.err.contains("tenuto"));
    EXPECT_EQ(Impronta(tabkes), prima);
    EXPECT_EQ(Sqlite3(radice + "/BIANCHI/Completo.mdb", "SELECT count(*) FROM Clienti"), "0");
}

// A group the tool may give files to: another than the process's own when it can.
QString GruppoDiProva() {
    if (geteuid() == 0) return getgrnam("nogroup") ? "nogroup" : "root";
    gid_t gruppi[64];
    const int n = getgroups(64, gruppi);
    gid_t scelto = getegid();
    for (int i = 0; i < n; ++i)
        if (gruppi[i] != getegid()) scelto = gruppi[i];
    return QString::fromLocal8Bit(getgrgid(scelto)->gr_name);
}

// Group and rights of a path, its link not followed: "nogroup 2770".
QString Diritti(const QString& percorso) {
    struct stat st {};
    if (lstat(QFile::encodeName(percorso).constData(), &st) != 0) return "<manca>";
    return QString::fromLocal8Bit(getgrgid(st.st_gid)->gr_name) + ' ' +
           QString::number(st.st_mode & 07777, 8);
}

TEST(Setup, NonSovrascriveERifiutaArgomentiErrati) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString radice = tmp.path();
    ASSERT_EQ(Strumento({radice, "DITTA", "--sample-clients=3"}).codice, 0);
    const QString completo = radice + "/DITTA/Completo.mdb";
    const QByteArray prima = Impronta(completo);

    const Esito di_nuovo = Strumento({radice, "DITTA", "--sample-clients", "10"});
    EXPECT_EQ(di_nuovo.codice, 1);
    EXPECT_TRUE(di_nuovo.err.contains("esiste già")) << di_nuovo.err.toStdString();
    EXPECT_EQ(Impronta(completo), prima);
    EXPECT_EQ(Sqlite3(completo, "SELECT count(*) FROM Clienti"), "3");
    EXPECT_THROW(setup::CreaAzienda(completo, 1), std::exception);
    EXPECT_THROW(setup::CreaTabelle(radice + "/tabkes.mdb"), std::exception);
    EXPECT_EQ(Impronta(completo), prima);

    const QString nuova = tmp.filePath("nuova");
    for (const QStringList& errati : {
             QStringList{},
             QStringList{nuova},
             QStringList{nuova, "A", "B"},
             QStringList{nuova, "A", "--sample-clients"},
             QStringList{nuova, "A", "--sample-clients", "-5"},
             QStringList{nuova, "A", "--sample-clients", "molti"},
             QStringList{nuova, "A", "--clienti", "5"},
             QStringList{nuova, "../A"},
             QStringList{nuova, ".."},
             // Codes the program could not name, or the exported lists' folder.
             QStringList{nuova, "temp"},
             QStringList{nuova, "01 "},
             QStringList{nuova, "a.1"},
             QStringList{nuova, QString(58, u'1')},
             QStringList{"--server", "dbname=x", " 01"},
             QStringList{nuova, "01", "--gruppo"},
             QStringList{"--server", "dbname=x", "01", "--gruppo", GruppoDiProva()},
             QStringList{nuova, "01", "--gruppo", GruppoDiProva(), "--importa-clienti", "x.csv"},
         }) {
        const Esito e = Strumento(errati);
        EXPECT_EQ(e.codice, 2) << errati.join(' ').toStdString();
        EXPECT_FALSE(e.err.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(nuova)) << "a refused run must create nothing";

    // Another run building the same company holds its folder: this one keeps off.
    ASSERT_TRUE(QDir(radice).mkpath("ALTRA"));
    const int cartella = open(QFile::encodeName(radice + "/ALTRA").constData(), O_RDONLY);
    ASSERT_EQ(flock(cartella, LOCK_EX), 0);
    ScriviFile(radice + "/ALTRA/Completo.mdb.partial", "dell'altra");
    const Esito insieme = Strumento({radice, "ALTRA"});
    EXPECT_EQ(insieme.codice, 1);
    EXPECT_TRUE(insieme.err.contains("in creazione")) << insieme.err.toStdString();
    EXPECT_EQ(LeggiFile(radice + "/ALTRA/Completo.mdb.partial"), "dell'altra");
    close(cartella);
    EXPECT_EQ(Strumento({radice, "ALTRA"}).codice, 0) << "what it left is made anew";
}

// The installation given to a group of operators: on a new company and on one made before,
// whose data stay as they are and whose planted link is left alone.
TEST(Setup, DatoAlGruppoDegliOperatori) {
    QTemporaryDir tmp;
    const QString radice = tmp.filePath("dati"), gruppo = GruppoDiProva();
    ASSERT_EQ(Strumento({radice, "01", "--sample-clients", "3"}).codice, 0);
    const QString completo = radice + "/01/Completo.mdb";
    ASSERT_TRUE(QFile::copy(completo, completo + "-wal"));
    const QString fuori = tmp.filePath("fuori");
    ASSERT_TRUE(QFile::copy(completo, fuori));
    QFile::link(fuori, completo + "-shm");
    const QString primaFuori = Diritti(fuori);
    const QByteArray prima = Impronta(completo), tabelle = Impronta(radice + "/tabkes.mdb");

    const Esito esistente = Strumento({radice, "--gruppo", gruppo});
    EXPECT_EQ(esistente.codice, 1) << "the link is reported";
    EXPECT_TRUE(esistente.err.contains(completo + "-shm")) << esistente.err.toStdString();
    const Esito nuova = Strumento({radice, "02", "--gruppo", gruppo});
    EXPECT_EQ(nuova.codice, 0) << nuova.err.toStdString();
    EXPECT_EQ(Strumento({radice, "02", "--gruppo", gruppo}).codice, 0) << "a second run";
    const std::map<QString, QString> attesi = {
        {radice, gruppo + " 2775"},
        {radice + "/tabkes.mdb", gruppo + " 660"},
        {radice + "/temp", gruppo + " 3770"},
        {radice + "/01", gruppo + " 2770"},
        {completo, gruppo + " 660"},
        {completo + "-wal", gruppo + " 660"},
        {radice + "/02", gruppo + " 2770"},
        {radice + "/02/Completo.mdb", gruppo + " 660"},
        {fuori, primaFuori},
    };
    for (const auto& [percorso, diritti] : attesi) EXPECT_EQ(Diritti(percorso), diritti);
    EXPECT_EQ(Impronta(completo), prima);
    EXPECT_EQ(Impronta(radice + "/tabkes.mdb"), tabelle);
    EXPECT_TRUE(QFileInfo(completo + "-shm").isSymLink());

    // An unknown group is refused before anything is made.
    const QString nessuna = tmp.filePath("nessuna");
    EXPECT_EQ(Strumento({nessuna, "01", "--gruppo", "gruppo-che-non-esiste"}).codice, 1);
    EXPECT_FALSE(QFile::exists(nessuna));
}

// The same clients every time, each one taken by the rules the client form applies, with
// the homonyms and shared VAT prefixes the similar-client lists need.
TEST(Setup, ClientiEsempioRealisticiERipetibili) {
    QTemporaryDir tmp;
    const QString a = tmp.filePath("a.mdb"), b = tmp.filePath("b.mdb");
    setup::CreaAzienda(a, 300);
    setup::CreaAzienda(b, 300);
    const QString tutto = QStringLiteral("SELECT * FROM Clienti ORDER BY CliCodice");
    const QString righeA = Sqlite3(a, tutto);
    EXPECT_EQ(righeA.count('\n'), 299);
    EXPECT_EQ(righeA, Sqlite3(b, tutto));

    std::set<std::tuple<QString, QString, QString>> luoghi;
    for (const setup::Localita& l : setup::DatiLocalita())
        luoghi.insert({l.nome, l.cap, l.provincia});
    std::map<QString, int> nomi, prefissiIva;
    int esteri = 0, persone = 0, esenti = 0;
    for (qint64 codice = 1; codice <= 300; ++codice) {
        const setup::Cliente c = setup::ClienteEsempio(codice);
        SCOPED_TRACE(codice);
        EXPECT_EQ(c.acronimo, c.ragsoc.left(20).trimmed().leftJustified(20));
        EXPECT_EQ(c.esenzioneNum.trimmed().isEmpty(), c.esenzioneDat == 0);
        esenti += c.esenzioneDat > 0;
        if (codice <= 50) ++nomi[c.ragsoc];
        const QString piva = c.partitaIva.trimmed(), cf = c.codiceFiscale.trimmed();
        if (c.nazione != "IT ") {
            ++esteri;
            EXPECT_TRUE(!piva.isEmpty() && cf.isEmpty());
            continue;
        }
        EXPECT_TRUE(luoghi.count({c.localita.trimmed(), c.cap.trimmed(), c.provincia.trimmed()}));
        EXPECT_EQ(DifettoPartitaIva(piva, "IT", true), Difetto::Nessuno) << piva.toStdString();
        if (codice <= 50 && !piva.isEmpty()) ++prefissiIva[piva.left(7)];
        persone += cf.size() == 16;
        if (cf.size() == 16) {
            EXPECT_EQ(DifettoCodiceFiscale(cf, true), Difetto::Nessuno) << cf.toStdString();
        } else {
            EXPECT_EQ(cf, piva) << "a company's fiscal code is its VAT number";
        }
    }
    EXPECT_TRUE(esteri > 0 && persone > 30 && esenti > 0);
    auto ripetuti = [](const std::map<QString, int>& m) {
        return std::count_if(m.begin(), m.end(), [](const auto& v) { return v.second > 1; });
    };
    EXPECT_GE(ripetuti(nomi), 2) << "the first 50 clients need homonyms";
    EXPECT_GE(ripetuti(prefissiIva), 1);
}

// Women add 40 to the day; a name with four or more consonants skips the second one;
// apostrophes do not count; short names are filled with X.
TEST(Setup, CodiciFiscaliEGiorni) {
    using Caso = std::tuple<const char*, const char*, QDate, bool, const char*, const char*>;
    // clang-format off
    for (const auto& [cognome, nome, nascita, donna, comune, atteso] : std::initializer_list<Caso>{
             {"Rossi", "Mario", QDate(1985, 12, 10), false, "A562", "RSSMRA85T10A562S"},
             {"BIANCHI", "MARIA", QDate(1990, 3, 5), true, "H501", "BNCMRA90C45H501X"},
             {"D'ANGELO", "GIANFRANCO", QDate(1977, 1, 1), false, "F205", "DNGGFR77A01F205P"},
             {"FO", "LIA", QDate(2000, 2, 29), false, "L219", "FOXLIA00B29L219O"}})
        EXPECT_EQ(setup::CodiceFiscale(cognome, nome, nascita, donna, comune), atteso);
    // clang-format on
    EXPECT_EQ(setup::NumeroGiorno(QDate(1899, 12, 31)), 1);
    EXPECT_EQ(setup::NumeroGiorno(QDate(2000, 1, 1)), 36526);
}

// On a server: the schemas made once, the files copied row for row in one transaction that
// a failure leaves undone, and the operators' role that reads and writes rows only.
class SetupServerTest : public ::testing::TestWithParam<Motore> {
  protected:
    AmbienteProva amb{GetParam(), true};
};
SOLO_SUL_SERVER(SetupServerTest);

namespace {

// Every row of a table, its columns joined, in code order.
QStringList Righe(motore::Database& db, const QString& sql) {
    QStringList righe;
    for (const QVariantList& r : db.Righe(sql)) {
        QStringList v;
        for (const QVariant& x : r) v << (x.isNull() ? QStringLiteral("<null>") : x.toString());
        righe << v.join('|');
    }
    return righe;
}

}  // namespace

TEST_P(SetupServerTest, CreaUnaVoltaECopiaIFileRigaPerRiga) {
    const QString server = amb.Server();
    Esito e = Strumento({"--server", server, "01", "--sample-clients", "50"});
    ASSERT_EQ(e.codice, 0) << e.err.toStdString();
    EXPECT_TRUE(e.out.contains("creato: schema tabkes (107 province")) << e.out.toStdString();
    EXPECT_TRUE(e.out.contains("creato: schema ditta_01 (50 clienti)")) << e.out.toStdString();
    e = Strumento({"--server", server, "01"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_TRUE(e.err.contains("esiste già")) << e.err.toStdString();
    // Unquoted names: the forms' texts and a person's work in any case.
    EXPECT_EQ(amb.Leggi("select count(*) from CLIENTI where clicodice <= 50"), "50");
    EXPECT_EQ(amb.Leggi("SELECT Descrizione FROM tabkes.Provincie WHERE CODICE = 'RM'"), "ROMA");

    // Files of another installation, one with a value too wide for its column.
    const QString radice = amb.Radice() + "file";
    ASSERT_EQ(Strumento({radice, "02", "--sample-clients", "30"}).codice, 0);
    ASSERT_EQ(Strumento({radice, "03", "--sample-clients", "3"}).codice, 0);
    {
        motore::Workspace ws;
        ws.OpenDatabase(radice + "/03/Completo.mdb")
            ->Esegui("UPDATE Clienti SET CliIndirizzo = ?1 WHERE CliCodice = 2",
                     {QString(40, 'X')});
    }
    AmbienteProva altro(GetParam(), true);
    e = Strumento({"--server", altro.Server(), "--copia", radice, "03"});
    EXPECT_EQ(e.codice, 1);
    EXPECT_TRUE(e.err.contains("nulla è stato cambiato")) << e.err.toStdString();
    motore::Workspace ws(altro.Server());
    auto pubblico = ws.OpenDatabase("public");
    EXPECT_EQ(pubblico
                  ->Valore("SELECT count(*) FROM pg_namespace WHERE nspname IN ('tabkes', "
                           "'ditta_03')")
                  .toInt(),
              0)
        << "a failed copy leaves nothing, the code tables included";

    e = Strumento({"--server", altro.Server(), "--copia", radice, "02"});
    ASSERT_EQ(e.codice, 0) << e.err.toStdString();
    EXPECT_TRUE(e.out.contains("copiato: tabkes.LOCALITA (8570 righe)")) << e.out.toStdString();
    EXPECT_TRUE(e.out.contains("copiato: ditta_02.Clienti (30 righe)")) << e.out.toStdString();
    motore::Workspace file;
    auto da = file.OpenDatabase(radice + "/02/Completo.mdb");
    auto a = ws.OpenDatabase("ditta_02");
    const QString tutto = "SELECT * FROM Clienti ORDER BY CliCodice";
    EXPECT_EQ(Righe(*a, tutto), Righe(*da, tutto)) << "every row, every column";
    auto indici = [](motore::Database& db) {
        QStringList v;
        for (const auto& i : db.Indici("Clienti"))
            v << i.nome + '(' + i.colonne.join(',').toLower() + ')' + QString::number(int(i.tipo));
        v.sort();
        return v;
    };
    EXPECT_EQ(indici(*a), indici(*da));
    auto tabDa = file.OpenDatabase(radice + "/tabkes.mdb");
    auto tabA = ws.OpenDatabase("tabkes");
    EXPECT_EQ(Righe(*tabA, "SELECT * FROM NAZIONI ORDER BY CODICE"),
              Righe(*tabDa, "SELECT * FROM NAZIONI ORDER BY CODICE"));
    e = Strumento({"--server", altro.Server(), "--copia", radice, "02"});
    EXPECT_EQ(e.codice, 1) << "a second copy refuses";
    EXPECT_EQ(a->Valore("SELECT count(*) FROM Clienti").toInt(), 30);

    // The operators read and write rows, and change no table.
    a->Esegui("SET ROLE anagrafica_operatori");
    a->Esegui("INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (100, 'OPERATORE')");
    a->Esegui("UPDATE Clienti SET CliCap = '00100' WHERE CliCodice = 100");
    a->Esegui("DELETE FROM Clienti WHERE CliCodice = 1");
    EXPECT_EQ(a->Valore("SELECT count(*) FROM tabkes.PROVINCIE").toInt(), 107);
    for (const char* ddl :
         {"CREATE TABLE Altro (x integer)", "DROP TABLE Clienti",
          "ALTER TABLE Clienti ADD COLUMN x integer", "CREATE INDEX x ON Clienti (CliCap)"}) {
        try {
            a->Esegui(ddl);
            ADD_FAILURE() << ddl;
        } catch (const motore::Errore& err) {
            EXPECT_EQ(err.Numero(), motore::ErrAccesso) << ddl;
        }
    }
}

// A list imported into a company on the server, through the same rules; a code already
// there is reported, not overwritten, and so is a VAT number a client or an earlier line holds.
TEST_P(SetupServerTest, ImportaUnElencoSulServer) {
    const QString server = amb.Server();
    ASSERT_EQ(Strumento({"--server", server, "01", "--sample-clients", "3"}).codice, 0);
    const QString file = amb.Radice() + "lista.csv";
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "CliCodice;CliRagsoc;CliNazione;CliProvincia;CliPartitaIva\n"
            ";nuovo cliente;380;rm;01234560017\n"
            "2;gia' preso;380;mi;\n"
            ";stessa piva;380;;01234560017\n");
    }
    Esito e = Strumento({"--server", server, "01", "--importa-clienti", file});
    EXPECT_EQ(e.codice, 1) << "rejected lines";
    EXPECT_TRUE(e.out.contains("righe lette: 3, importate: 1, scartate: 2")) << e.out.toStdString();
    EXPECT_EQ(amb.Leggi("SELECT CliCodice || ':' || rtrim(CliProvincia) || ':' || "
                        "rtrim(CliNazione) FROM Clienti WHERE CliRagsoc = 'NUOVO CLIENTE'"),
              "4:RM:IT");
    EXPECT_NE(amb.Leggi("SELECT CliRagsoc FROM Clienti WHERE CliCodice = 2"), "GIA' PRESO");
    e = Strumento({"--server", server, "01", "--importa-clienti", file});
    EXPECT_TRUE(e.out.contains("righe lette: 3, importate: 0, scartate: 3")) << e.out.toStdString();
    EXPECT_EQ(amb.Leggi("SELECT count(*) FROM Clienti"), "4");
}
