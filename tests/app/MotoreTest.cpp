#include "engine/Motore.h"
#include "engine/postgres/Traduzione.h"
#include "engine/sqlite/Traduzione.h"

#include "support/AmbienteProva.h"
#include "support/ProxyGuasto.h"
#include "support/ServerProprio.h"

#include "Setup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using namespace motore;

namespace {

int NumeroErrore(const std::function<void()>& f) {
    try {
        f();
    } catch (const Errore& e) {
        return e.Numero();
    }
    return 0;
}

class MotoreTest : public ::testing::TestWithParam<Motore> {
  protected:
    void SetUp() override {
        percorso = amb.SulServer() ? QString("prova") : amb.Radice() + "prova.mdb";
        auto db = ws.CreaDatabase(percorso);
        db->CreaTabella("LOCALITA", {{"LocLocalita", 50, true},
                                     {"LocCAP", 5, true},
                                     {"LocProvincia", 2},
                                     {"LocPrefisso", 5}});
        db->CreaIndice("LOCALITA", "primaria", {"LocLocalita", "LocCAP"}, TipoIndice::Unico);
        db->CreaTabella("Clienti", {{"CliCodice", 0, true},
                                    {"CliRagsoc", 35},
                                    {"CliPartitaIva", 12},
                                    {"CliEsenzioneDat", 0}});
        db->CreaIndice("Clienti", "primaria", {"CliCodice"}, TipoIndice::Unico);
        db->CreaIndice("Clienti", "CliPartitaIva", {"CliPartitaIva"}, TipoIndice::Normale);
        const char* localita[][3] = {{"ROMA", "00118", "RM"},
                                     {"ROMA", "00199", "RM"},
                                     {"ROMANO", "24058", "BG"},
                                     {"MILANO", "20121", "MI"},
                                     {"BARI", "70121", "BA"}};
        for (auto& l : localita)
            db->Esegui("INSERT INTO LOCALITA VALUES (?1, ?2, ?3, NULL)", {l[0], l[1], l[2]});
        // Stored blank-padded, as the program stores everything but the company name.
        db->Esegui("INSERT INTO Clienti VALUES (3, 'ROSSI SPA', '01234567890 ', 36892)");
        db->Esegui("INSERT INTO Clienti VALUES (7, 'L''ALBA', '0123456789  ', NULL)");
        db->Esegui("INSERT INTO Clienti VALUES (12, 'ROSSI SPA', 'DE123       ', 0)");
    }

    std::unique_ptr<Database> Apri() { return ws.OpenDatabase(percorso); }
    // Clients from `da` to `a` - 1, named by their codes, in one transaction.
    void AggiungiClienti(Database& db, int da, int a) {
        ws.BeginTrans();
        db.Carica("Clienti", {"CliCodice", "CliRagsoc"}, [&](QVariantList& v) {
            if (da == a) return false;
            v = {da, QString("CLIENTE NUMERO %1").arg(da++)};
            return true;
        });
        ws.CommitTrans();
    }
    // The steps of a query's plan, in the forms' dialect, as one text.
    QString Piano(Database& db, const QString& sql) {
        // A handful of rows would be read whole by a server that can choose.
        if (amb.SulServer()) db.Esegui("SET enable_seqscan = off");
        return db.Piano(sql).join('|');
    }

    AmbienteProva amb{GetParam()};
    QString percorso;
    Workspace ws{amb.Server()};
};
SU_OGNI_MOTORE(MotoreTest);

// What only files can do wrong.
class MotoreFileTest : public MotoreTest {};
INSTANTIATE_TEST_SUITE_P(Motori, MotoreFileTest, ::testing::Values(Motore::File), NomeMotore);

TEST_P(MotoreFileTest, ApreSoloDatabaseEsistentiESani) {
    const QString mancante = (amb.Radice() + "manca.mdb");
    EXPECT_EQ(NumeroErrore([&] { ws.OpenDatabase(mancante); }), ErrFileMancante);
    EXPECT_FALSE(QFile::exists(mancante)) << "a missing database must never be created";

    const QString vuoto = (amb.Radice() + "vuoto.mdb");
    QFile(vuoto).open(QIODevice::WriteOnly);
    EXPECT_EQ(NumeroErrore([&] { ws.OpenDatabase(vuoto); }), ErrFormato);
    EXPECT_EQ(QFile(vuoto).size(), 0);

    const QString testo = (amb.Radice() + "testo.mdb");
    {
        QFile f(testo);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(8192, 'x'));
    }
    EXPECT_EQ(NumeroErrore([&] { ws.OpenDatabase(testo); }), ErrFormato);
    EXPECT_EQ(NumeroErrore([&] { ws.OpenDatabase(amb.Radice()); }), ErrFormato);

    // Truncated to its first page: the header still promises the missing pages.
    const QString tronco = (amb.Radice() + "tronco.mdb");
    QFile::copy(percorso, tronco);
    QFile(tronco).resize(4096);
    EXPECT_EQ(NumeroErrore([&] { ws.OpenDatabase(tronco); }), ErrDanneggiato);

    // Schema page overwritten with garbage.
    const QString guasto = (amb.Radice() + "guasto.mdb");
    QFile::copy(percorso, guasto);
    {
        QFile f(guasto);
        f.open(QIODevice::ReadWrite);
        f.seek(100);
        f.write(QByteArray(3000, '\x5a'));
    }
    Workspace ws2;
    int n = NumeroErrore([&] { ws2.OpenDatabase(guasto)->OpenTable("Clienti"); });
    EXPECT_TRUE(n == ErrDanneggiato || n == ErrFormato) << n;

    EXPECT_NO_THROW(Apri());
}

TEST_P(MotoreTest, TabellaEIndiceSconosciuti) {
    auto db = Apri();
    EXPECT_EQ(NumeroErrore([&] { db->OpenTable("Fornitori"); }), ErrTabellaMancante);
    auto rs = db->OpenTable("clienti");  // names are matched without regard to case
    EXPECT_EQ(NumeroErrore([&] { rs->SetIndex("nessuno"); }), ErrIndiceMancante);
    EXPECT_EQ(NumeroErrore([&] { rs->Seek("=", {3}); }), ErrSenzaIndice);
    EXPECT_EQ(rs->FieldSize("CliRagsoc"), 35);
    EXPECT_EQ(NumeroErrore([&] { rs->Field("NonCe"); }), ErrCampoMancante);
}

TEST_P(MotoreTest, SeekConOgniConfronto) {
    auto db = Apri();
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    rs->Seek("=", {7});
    ASSERT_FALSE(rs->NoMatch());
    EXPECT_EQ(rs->Field("CliRagsoc").toString(), "L'ALBA");
    EXPECT_TRUE(rs->Field("CliEsenzioneDat").isNull()) << "null must stay null";

    rs->Seek("<=", {2147483646});  // the next free code is the last one + 1
    EXPECT_EQ(rs->Field("CliCodice").toInt(), 12);
    rs->Seek("<", {12});
    EXPECT_EQ(rs->Field("CliCodice").toInt(), 7);
    rs->Seek(">", {3});
    EXPECT_EQ(rs->Field("CliCodice").toInt(), 7);
    rs->Seek(">=", {8});
    EXPECT_EQ(rs->Field("CliCodice").toInt(), 12);
    rs->Seek("=", {5});
    EXPECT_TRUE(rs->NoMatch());
    EXPECT_EQ(NumeroErrore([&] { rs->Field("CliCodice"); }), ErrNessunRecord);
    rs->Seek("<", {3});
    EXPECT_TRUE(rs->NoMatch());

    auto loc = db->OpenTable("LOCALITA");
    loc->SetIndex("primaria");
    loc->Seek(">=", {"ROM", ""});
    EXPECT_EQ(loc->Field("LocCAP").toString(), "00118");
    loc->Seek(">", {"ROMA", "00199"});
    EXPECT_EQ(loc->Field("LocLocalita").toString(), "ROMANO");
    loc->Seek("<", {"ROMA", "00118"});
    EXPECT_EQ(loc->Field("LocLocalita").toString(), "MILANO");
    loc->Seek(">", {"ZZZ", ""});
    EXPECT_TRUE(loc->NoMatch());
    loc->Seek("=", {"BARI", "70121"});
    EXPECT_EQ(loc->Field("LocProvincia").toString(), "BA");
    // Paging in index order.
    loc->MoveNext();
    EXPECT_EQ(loc->Field("LocLocalita").toString(), "MILANO");
}

TEST_P(MotoreTest, ITrailingBlankNonContano) {
    auto db = Apri();
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("CliPartitaIva");
    rs->Seek("=", {"01234567890"});
    ASSERT_FALSE(rs->NoMatch());
    EXPECT_EQ(rs->Field("CliPartitaIva").toString(), "01234567890 ");

    auto snap = db->OpenSnapshot(
        "SELECT CliCodice FROM Clienti WHERE CliPartitaIva = '01234567890' ORDER BY CliCodice");
    ASSERT_FALSE(snap->Eof());
    EXPECT_EQ(snap->Field("CliCodice").toInt(), 3);

    // The similar-client range: from the key and a blank to the key and "zzz".
    snap = db->OpenSnapshot(
        "SELECT CliCodice, CliPartitaIva FROM Clienti WHERE CliPartitaIva BETWEEN '0123456789 "
        "' AND '0123456789zzz' ORDER BY CliPartitaIva");
    QList<int> codici;
    for (; !snap->Eof(); snap->MoveNext()) codici << snap->Field("CliCodice").toInt();
    EXPECT_EQ(codici, (QList<int>{7, 3}));
}

TEST_P(MotoreTest, AggiuntaVariazioneCancellazione) {
    auto db = Apri();
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    EXPECT_EQ(NumeroErrore([&] { rs->SetField("CliRagsoc", "X"); }), ErrNessunModifica);

    rs->AddNew();
    rs->SetField("CliCodice", 20);
    rs->SetField("CliRagsoc", "NUOVA SRL");
    EXPECT_EQ(NumeroErrore([&] { rs->SetField("CliRagsoc", QString(36, 'A')); }),
              ErrCampoTroppoPiccolo);
    rs->Update();
    rs->Seek("=", {20});
    ASSERT_FALSE(rs->NoMatch());
    EXPECT_EQ(rs->Field("CliRagsoc").toString(), "NUOVA SRL");
    EXPECT_TRUE(rs->Field("CliPartitaIva").isNull());

    rs->AddNew();
    rs->SetField("CliCodice", 20);
    EXPECT_EQ(NumeroErrore([&] { rs->Update(); }), ErrChiaveDuplicata);
    rs->CancelUpdate();

    rs->Seek("=", {3});
    rs->Edit();
    rs->SetField("CliRagsoc", "ROSSI & FIGLI SPA");
    rs->Update();
    EXPECT_EQ(rs->Field("CliRagsoc").toString(), "ROSSI & FIGLI SPA");
    EXPECT_EQ(db->Valore("SELECT count(*) FROM Clienti WHERE CliRagsoc = 'ROSSI SPA'").toInt(), 1);

    rs->Delete();
    EXPECT_EQ(NumeroErrore([&] { rs->Edit(); }), ErrNessunRecord);
    rs->Seek("=", {3});
    EXPECT_TRUE(rs->NoMatch());
}

TEST_P(MotoreTest, TransazioniDelWorkspace) {
    auto db = Apri();
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    ws.BeginTrans();
    rs->Seek("=", {7});
    rs->Delete();
    ws.Rollback();
    rs->Seek("=", {7});
    EXPECT_FALSE(rs->NoMatch()) << "a rolled-back delete must leave the row";

    ws.BeginTrans();
    rs->AddNew();
    rs->SetField("CliCodice", 30);
    rs->Update();
    ws.CommitTrans();
    Workspace altro(amb.Server());
    auto db2 = altro.OpenDatabase(percorso);
    EXPECT_EQ(db2->Valore("SELECT count(*) FROM Clienti WHERE CliCodice = 30").toInt(), 1);
}

TEST_P(MotoreTest, UnSecondoScrittoreAttendePoiFallisce) {
    auto db = Apri();
    Workspace altro(amb.Server());
    altro.ImpostaAttesaBlocco(200);
    auto db2 = altro.OpenDatabase(percorso);
    auto rs2 = db2->OpenTable("Clienti");
    rs2->SetIndex("primaria");

    ws.BeginTrans();
    db->Esegui("UPDATE Clienti SET CliRagsoc = 'TENUTO' WHERE CliCodice = 3");
    altro.BeginTrans();
    EXPECT_EQ(NumeroErrore([&] { rs2->Seek("=", {3}); }), ErrBloccato);
    altro.Rollback();
    ws.CommitTrans();

    // Once the lock is gone the second program reads the committed row.
    rs2->Seek("=", {3});
    EXPECT_EQ(rs2->Field("CliRagsoc").toString(), "TENUTO");
}

TEST_P(MotoreFileTest, UnFileDiSolaLetturaFallisceInScrittura) {
    // Root ignores permission bits; an immutable file stops root too.
    QFile(percorso).setPermissions(QFile::ReadOwner);
    const bool immutabile = geteuid() == 0 && QProcess::execute("chattr", {"+i", percorso}) == 0;
    if (geteuid() == 0 && !immutabile) GTEST_SKIP() << "no way to make the file read-only";
    {
        auto db = Apri();
        auto rs = db->OpenTable("Clienti");
        rs->SetIndex("primaria");
        rs->AddNew();
        rs->SetField("CliCodice", 99);
        EXPECT_EQ(NumeroErrore([&] { rs->Update(); }), ErrSolaLettura);
        rs->Seek("=", {99});
        EXPECT_TRUE(rs->NoMatch());
    }
    if (immutabile) QProcess::execute("chattr", {"-i", percorso});
}

TEST_P(MotoreFileTest, UnaCartellaDiSolaLetturaFallisceInScrittura) {
    // The file itself stays writable: the journal cannot be made beside it.
    QFile::setPermissions(amb.Radice(), QFile::ReadOwner | QFile::ExeOwner);
    const bool immutabile =
        geteuid() == 0 && QProcess::execute("chattr", {"+i", amb.Radice()}) == 0;
    if (geteuid() == 0 && !immutabile) {
        QFile::setPermissions(amb.Radice(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        GTEST_SKIP() << "no way to make the folder read-only";
    }
    QString testo;
    {
        auto db = Apri();
        auto rs = db->OpenTable("Clienti");
        rs->SetIndex("primaria");
        rs->AddNew();
        rs->SetField("CliCodice", 99);
        try {
            rs->Update();
        } catch (const Errore& e) {
            EXPECT_EQ(e.Numero(), ErrSolaLettura);
            testo = e.Descrizione();
        }
    }
    if (immutabile) QProcess::execute("chattr", {"-i", amb.Radice()});
    QFile::setPermissions(amb.Radice(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(testo.contains("sola lettura")) << testo.toStdString();
}

TEST_P(MotoreFileTest, UnFileSostituitoSottoIlProgrammaLoDice) {
    auto db = Apri();
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    const QString copia = (amb.Radice() + "copia.mdb");
    ASSERT_TRUE(QFile::copy(percorso, copia));
    ASSERT_EQ(::rename(copia.toLocal8Bit().constData(), percorso.toLocal8Bit().constData()), 0);
    rs->AddNew();
    rs->SetField("CliCodice", 99);
    try {
        rs->Update();
        ADD_FAILURE() << "a write to a replaced file must fail";
    } catch (const Errore& e) {
        EXPECT_TRUE(e.Descrizione().contains("sostituito")) << e.Descrizione().toStdString();
    }
}

TEST(Dialetto, TraduceLetteraliEModelli) {
    EXPECT_EQ(sqlite::Traduci("SELECT * FROM Clienti  WHERE (CliRagSoc LIKE \"ROSSI*\") ORDER BY  "
                              "CliCodice ASC"),
              "SELECT * FROM Clienti  WHERE ((CliRagSoc LIKE 'ROSSI%' AND CliRagSoc COLLATE "
              "NOCASE >= 'rossi' AND CliRagSoc COLLATE NOCASE < 'rossj')) ORDER BY  CliCodice ASC");
    EXPECT_EQ(sqlite::Traduci("where (CliRagSoc = \"L'ALBA \"\"2\"\" \")"),
              "where ((rtrim(CliRagSoc) = 'L''ALBA \"2\"' COLLATE NOCASE AND CliRagSoc COLLATE "
              "NOCASE >= 'l''alba \"2\"' AND CliRagSoc COLLATE NOCASE < 'l''alba \"2\"!'))");
    // Only "*" is a wildcard, and only a prefix gets a range.
    EXPECT_EQ(sqlite::Traduci("x like 'A_B%C*D'"), "x LIKE 'A\\_B\\%C%D' ESCAPE '\\'");
    EXPECT_EQ(sqlite::Traduci("x = 'A*B'", [](auto&, auto&) { return false; }),
              "rtrim(x) = 'A*B' COLLATE NOCASE")
        << "only LIKE patterns have wildcards";
    EXPECT_EQ(sqlite::Traduci("CliCap LIKE '2?1*'"),
              "(CliCap LIKE '2?1%' AND CliCap COLLATE NOCASE >= '2?1' AND CliCap COLLATE NOCASE "
              "< '2?2')");
    EXPECT_EQ(sqlite::Traduci("t.x NOT LIKE 'A*'"), "t.x NOT LIKE 'A%'");
    EXPECT_EQ(sqlite::Traduci("t.x LIKE 'Z*'"),
              "(t.x LIKE 'Z%' AND t.x COLLATE NOCASE >= 'z' AND t.x COLLATE NOCASE < '{')");
    EXPECT_EQ(sqlite::Traduci("[a b] LIKE '*'"), "[a b] LIKE '%'");
    // A bound below the blank could not close the range of the trailing blanks.
    EXPECT_EQ(sqlite::Traduci("c BETWEEN 'A ' and 'B\t'"),
              "(rtrim(c) COLLATE NOCASE BETWEEN 'A' AND 'B\t' AND c COLLATE NOCASE >= 'a')");
    EXPECT_EQ(sqlite::Traduci("CliCodice = 5 AND x = y"), "CliCodice = 5 AND x = y");
    EXPECT_EQ(NumeroErrore([] { sqlite::Traduci("x = 'aperta"); }), ErrSintassi);
}

// The forms' equalities and ranges on text find what a person would: case and trailing
// blanks do not count, on both sides. Checked against that rule written out here, through
// the index's range and without it.
TEST_P(MotoreTest, UguaglianzeEIntervalliIgnoranoMaiuscoleEBlank) {
    auto db = Apri();
    const QStringList valori = {"abc",    "ABC",  "Abc  ", "abc\x01", "abc!", "ab",   "abd",
                                "ABCD",   " abc", "",      "   ",     "a'b",  "A'B ", "\u00e9",
                                "\u00c9", "zz{",  "ABC\t", "b",       "B  ",  "abz"};
    for (int i = 0; i < valori.size(); ++i)
        db->Esegui("INSERT INTO Clienti (CliCodice, CliPartitaIva) VALUES (?1, ?2)",
                   {100 + i, valori[i]});
    auto Regola = [](QString s) {
        while (s.endsWith(' ')) s.chop(1);
        for (QChar& c : s)
            if (c >= 'A' && c <= 'Z') c = c.toLower();
        return s.toUtf8();
    };
    auto Trovati = [&](const QString& condizione) {
        QStringList r;
        auto snap = db->OpenSnapshot(
            "SELECT CliPartitaIva FROM Clienti WHERE (CliCodice >= 100) "
            "AND (" +
            condizione + ") ORDER BY CliCodice");
        for (; !snap->Eof(); snap->MoveNext()) r << snap->Field("CliPartitaIva").toString();
        return r;
    };
    auto Quota = [](QString s) { return "'" + s.replace("'", "''") + "'"; };
    const QStringList limiti = {"abc", "ABC ", "a'b", "", "\u00e9", "ABC\t", "ab", "b", "abczzz"};
    for (bool indice : {false, true}) {
        if (indice) {
            db->CreaIndice("Clienti", "RicercaPartitaIva", {"CliPartitaIva"}, TipoIndice::Ricerca);
            db->CreaIndice("Clienti", "RicercaRagsoc", {"CliRagsoc"}, TipoIndice::Ricerca);
        }
        for (const QString& x : limiti) {
            QStringList attesi;
            for (const QString& v : valori)
                if (Regola(v) == Regola(x)) attesi << v;
            EXPECT_EQ(Trovati("CliPartitaIva = " + Quota(x)), attesi) << x.toStdString();
            for (const QString& y : limiti) {
                attesi.clear();
                for (const QString& v : valori)
                    if (Regola(x) <= Regola(v) && Regola(v) <= Regola(y)) attesi << v;
                EXPECT_EQ(Trovati("CliPartitaIva BETWEEN " + Quota(x) + " AND " + Quota(y)), attesi)
                    << x.toStdString() << " .. " << y.toStdString();
            }
        }
    }
    // Both seek the case-blind index; of an equality and a prefix the equality is sought.
    for (const QString& condizione :
         {QString("CliPartitaIva = 'abc'"), QString("CliPartitaIva BETWEEN 'a ' AND 'azzz'"),
          QString("CliRagSoc LIKE 'ROSSI*') AND (CliPartitaIva = '01234567890'")}) {
        const QString piano =
            Piano(*db, "SELECT * FROM Clienti WHERE (" + condizione + ") ORDER BY CliPartitaIva");
        // The server's planner picks among the search indexes by their statistics.
        EXPECT_TRUE(
            piano.contains(amb.SulServer() ? "Clienti.Ricerca" : "Clienti.RicercaPartitaIva"))
            << piano.toStdString();
    }
}

TEST_P(MotoreTest, SnapshotNelDialettoDeiModuli) {
    auto db = Apri();
    auto snap = db->OpenSnapshot(
        "select CliCodice from Clienti where (CliRagSoc like \"rossi*\") and (CliPartitaIva "
        "LIKE '0123*') order by CliCodice desc");
    ASSERT_FALSE(snap->Eof());
    EXPECT_EQ(snap->Field("clicodice").toInt(), 3);
    snap->MoveNext();
    EXPECT_TRUE(snap->Eof());

    snap = db->OpenSnapshot("SELECT CliCodice FROM Clienti WHERE (CliRagSoc = 'L''ALBA')");
    EXPECT_EQ(snap->Field("CliCodice").toInt(), 7);
    EXPECT_EQ(snap->FieldSize("CliCodice"), 4);

    snap = db->OpenSnapshot("SELECT * FROM Clienti WHERE (CliRagSoc LIKE '100%*')");
    EXPECT_TRUE(snap->Eof()) << "a percent sign is an ordinary character";
    EXPECT_EQ(NumeroErrore([&] { db->OpenSnapshot("SELECT * FROM Nessuna"); }), ErrTabellaMancante);
    EXPECT_EQ(NumeroErrore([&] { db->OpenSnapshot("SELEC * FROM Clienti"); }), ErrSintassi);
}

// A prefix search seeks the case-blind index and finds exactly what the LIKE alone finds,
// whatever the case, the trailing blanks or the pattern characters typed.
TEST_P(MotoreTest, IlPrefissoCercaNellIndiceSenzaCambiareIlRisultato) {
    auto db = Apri();
    db->CreaIndice("Clienti", "RicercaRagsoc", {"CliRagsoc"}, TipoIndice::Ricerca);
    const char* nomi[] = {"rossi mario", "ROSSI   ", "Rossini", "ROSSO", "ROSS?X", "ROSS_X",
                          "ROSS%X",      "ROSS[X]",  "ROS",     "ROSSJ", "ZZ{",    "ZZZ"};
    int codice = 100;
    for (const char* n : nomi)
        db->Esegui("INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (?1, ?2)", {codice++, n});
    auto Trovati = [&](const QString& prefisso) {
        QStringList r;
        auto snap = db->OpenSnapshot(
            "SELECT CliRagsoc FROM Clienti WHERE (CliCodice >= 100) AND (CliRagSoc LIKE \"" +
            prefisso + "*\") ORDER BY CliCodice");
        for (; !snap->Eof(); snap->MoveNext()) r << snap->Field("CliRagsoc").toString();
        return r;
    };
    EXPECT_EQ(Trovati("ROSSI"), QStringList({"rossi mario", "ROSSI   ", "Rossini"}));
    EXPECT_EQ(Trovati("rossi "), QStringList({"rossi mario", "ROSSI   "}));
    EXPECT_EQ(Trovati("ROSS?"), QStringList({"ROSS?X"}));
    EXPECT_EQ(Trovati("ROSS_"), QStringList({"ROSS_X"}));
    EXPECT_EQ(Trovati("ROSS%"), QStringList({"ROSS%X"}));
    EXPECT_EQ(Trovati("ROSS["), QStringList({"ROSS[X]"}));
    EXPECT_EQ(Trovati("ZZ"), QStringList({"ZZ{", "ZZZ"})) << "no stop past the letters";

    QString piano = Piano(*db,
                          "SELECT * FROM Clienti  WHERE (CliRagSoc LIKE \"ROSSI*\") ORDER BY  "
                          "CliCodice ASC, CliRagSoc ASC");
    EXPECT_TRUE(piano.contains("Clienti.RicercaRagsoc")) << piano.toStdString();

    // Of two prefixes the longer one is sought, the other only filters.
    db->CreaIndice("Clienti", "RicercaPartitaIva", {"CliPartitaIva"}, TipoIndice::Ricerca);
    const QString due =
        "SELECT * FROM Clienti  WHERE (CliRagSoc LIKE \"ROSSI*\") AND (CliPartitaIva "
        "LIKE '8*') ORDER BY  CliCodice ASC, CliRagSoc ASC";
    if (!amb.SulServer()) {
        EXPECT_EQ(sqlite::Traduci(due),
                  "SELECT * FROM Clienti  WHERE ((CliRagSoc LIKE 'ROSSI%' AND CliRagSoc COLLATE "
                  "NOCASE >= 'rossi' AND CliRagSoc COLLATE NOCASE < 'rossj')) AND ((+CliPartitaIva "
                  "LIKE '8%')) ORDER BY  CliCodice ASC, CliRagSoc ASC");
    }
    piano = Piano(*db, due);
    EXPECT_TRUE(piano.contains(amb.SulServer() ? "Clienti.Ricerca" : "Clienti.RicercaRagsoc"))
        << piano.toStdString();
}

// While the program has the file open the shell reads what it committed, still in the log;
// once it is closed the shell finds one file in the rollback journal.
TEST_P(MotoreFileTest, IlFileRestaLeggibileDallaShellSqlite) {
    auto Shell = [&](const QString& sql) {
        QProcess p;
        p.start("sqlite3", {percorso, sql});
        EXPECT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    {
        auto db = Apri();
        auto rs = db->OpenTable("Clienti");
        rs->SetIndex("primaria");
        ws.BeginTrans();
        rs->AddNew();
        rs->SetField("CliCodice", 40);
        rs->SetField("CliRagsoc", "DALLA SHELL");
        rs->Update();
        ws.CommitTrans();
        EXPECT_EQ(Shell("PRAGMA journal_mode; SELECT CliRagsoc FROM Clienti WHERE CliCodice = 40"),
                  "wal\nDALLA SHELL\n");
    }
    EXPECT_EQ(Shell("PRAGMA journal_mode; SELECT CliRagsoc FROM Clienti WHERE CliCodice = 40; "
                    "PRAGMA integrity_check;"),
              "delete\nDALLA SHELL\nok\n");
    EXPECT_FALSE(QFile::exists(percorso + "-wal"));
    EXPECT_FALSE(QFile::exists(percorso + "-shm"));
}

bool InWal(const QString& percorso) {
    QFile f(percorso);
    return f.open(QIODevice::ReadOnly) && f.read(20).at(18) == 2;
}

// The log is copied into the file while nobody reads the older pages; after a long read has
// let it grow, it is cut back instead of keeping its largest size.
TEST_P(MotoreFileTest, IlRegistroNonRestaGrandeDopoUnaLetturaLunga) {
    auto db = Apri();
    AggiungiClienti(*db, 100, 10100);
    Workspace altro;
    auto lettore = altro.OpenDatabase(percorso);
    auto snap = lettore->OpenSnapshot("SELECT * FROM Clienti");
    for (int i = 0; i < 30; ++i)
        db->Esegui("UPDATE Clienti SET CliRagsoc = ?1", {QString("GIRO %1").arg(i, 30)});
    const qint64 durante = QFileInfo(percorso + "-wal").size();
    ASSERT_GT(durante, 12 << 20) << "the read kept the log from being copied back";
    snap->Close();
    for (int i = 0; i < 3; ++i)
        db->Esegui("UPDATE Clienti SET CliPartitaIva = '1' WHERE CliCodice = 3");
    EXPECT_LE(QFileInfo(percorso + "-wal").size(), 4 << 20);
}

// A network folder keeps the rollback journal: the log's index is memory shared by the
// programs of one computer.
class CartellaDiReteTest : public MotoreTest {
  protected:
    std::unique_ptr<Database> ApriInRete(Workspace& w) {
        w.ImpostaCartellaDiRete(true);
        return w.OpenDatabase(percorso);
    }
    // The file as a program on the local disk leaves it when it ends without closing it:
    // in write-ahead-log mode, its last save only in the log.
    void LasciatoInWal() {
        Workspace locale;
        auto db = locale.OpenDatabase(percorso);
        db->Esegui("INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (50, 'NEL REGISTRO')");
        const QString copia = amb.Radice() + "copia.mdb";
        ASSERT_TRUE(QFile::copy(percorso, copia));
        ASSERT_TRUE(QFile::copy(percorso + "-wal", copia + "-wal"));
        db->Close();
        ASSERT_TRUE(QFile::remove(percorso));
        ASSERT_TRUE(QFile::rename(copia, percorso));
        ASSERT_TRUE(QFile::rename(copia + "-wal", percorso + "-wal"));
        ASSERT_TRUE(InWal(percorso));
    }
    QString Errore(const std::function<void()>& f) {
        try {
            f();
        } catch (const motore::Errore& e) {
            EXPECT_EQ(e.Numero(), ErrAccesso);
            return e.Descrizione();
        }
        return "<nessun errore>";
    }
};
INSTANTIATE_TEST_SUITE_P(Motori, CartellaDiReteTest, ::testing::Values(Motore::File), NomeMotore);

TEST_P(CartellaDiReteTest, UnFileLasciatoInWalTornaAlGiornaleSenzaPerdereNulla) {
    LasciatoInWal();
    auto db = ApriInRete(ws);
    EXPECT_FALSE(InWal(percorso));
    EXPECT_FALSE(QFile::exists(percorso + "-wal"));
    EXPECT_EQ(db->Valore("SELECT CliRagsoc FROM Clienti WHERE CliCodice = 50").toString(),
              "NEL REGISTRO");
    db->Esegui("INSERT INTO Clienti (CliCodice) VALUES (51)");
    EXPECT_FALSE(InWal(percorso));
    EXPECT_FALSE(QFile::exists(percorso + "-shm")) << "no memory is shared through the network";
}

// A program on the local disk puts the file in write-ahead-log mode: from a network folder
// it cannot be shared, and is refused rather than read through a log index that does not
// reach across computers.
TEST_P(CartellaDiReteTest, NonSiUsaInsiemeAUnProgrammaInWal) {
    Workspace rete;
    rete.ImpostaAttesaBlocco(50);
    auto dallaRete = ApriInRete(rete);
    {
        Workspace locale;
        auto db = locale.OpenDatabase(percorso);
        db->Esegui("UPDATE Clienti SET CliRagsoc = 'LOCALE' WHERE CliCodice = 3");
        const QString testo =
            Errore([&] { dallaRete->Valore("SELECT CliRagsoc FROM Clienti WHERE CliCodice = 3"); });
        EXPECT_TRUE(testo.contains("cartella di rete")) << testo.toStdString();
        Workspace altraRete;
        altraRete.ImpostaAttesaBlocco(50);
        EXPECT_TRUE(Errore([&] { ApriInRete(altraRete); }).contains("WAL"));
        EXPECT_EQ(db->Valore("SELECT CliRagsoc FROM Clienti WHERE CliCodice = 3").toString(),
                  "LOCALE");
    }
    // Closed there, the file is back in the journal, and the network's program goes on.
    EXPECT_EQ(dallaRete->Valore("SELECT CliRagsoc FROM Clienti WHERE CliCodice = 3").toString(),
              "LOCALE");
    EXPECT_EQ(dallaRete->Valore("PRAGMA integrity_check").toString(), "ok");
}

}  // namespace

namespace {

TEST(Dialetto, PerIlServerOgniLetteraleSiRiscrive) {
    EXPECT_EQ(postgres::Traduci("SELECT * FROM Clienti  WHERE (CliRagSoc LIKE \"ROSSI *\") "
                                "ORDER BY  CliCodice ASC"),
              "SELECT * FROM Clienti  WHERE ((lower(CliRagSoc::text) LIKE 'rossi %' AND "
              "lower(rtrim(CliRagSoc::text)) COLLATE \"C\" >= 'rossi' AND "
              "lower(rtrim(CliRagSoc::text)) COLLATE \"C\" < 'rossj')) ORDER BY  CliCodice ASC");
    // A backslash means itself whatever the server's standard_conforming_strings.
    EXPECT_EQ(postgres::Traduci("where (x = 'A\\'' OR ''1''=''1 ')"),
              "where (lower(rtrim(x::text)) COLLATE \"C\" = E'a\\\\'' or ''1''=''1')");
    EXPECT_EQ(postgres::Traduci("x LIKE 'A_B%C\\*D'"),
              "lower(x::text) LIKE E'a\\\\_b\\\\%c\\\\\\\\%d'");
    EXPECT_EQ(
        postgres::Traduci("t.[A b] BETWEEN 'R ' and 'Rzzz' ORDER BY [A b]"),
        "lower(rtrim(t.\"a b\"::text)) COLLATE \"C\" BETWEEN 'r' AND 'rzzz' ORDER BY \"a b\"");
    EXPECT_EQ(postgres::Traduci("CliCodice = 5 AND x NOT LIKE 'A*'"),
              "CliCodice = 5 AND lower(x::text) NOT LIKE 'a%'");
    EXPECT_EQ(NumeroErrore([] { postgres::Traduci(QString("x = 'a") + QChar(0) + "'"); }),
              ErrSintassi);
}

// Whatever the operator types, quoted as the forms quote it, finds what the comparison
// means and never changes the query: checked against the rule written out here.
TEST_P(MotoreTest, NessunTestoScrittoCambiaLaQuery) {
    auto db = Apri();
    db->CreaIndice("Clienti", "RicercaRagsoc", {"CliRagsoc"}, TipoIndice::Ricerca);
    const QString alfabeto = QString::fromUtf8("'\"\\%_*?[];-/ aAzZ\u00e9\u00c9\n\t01$()=E");
    std::uint64_t stato = 20261207;
    auto Casuale = [&](int n) {
        stato = stato * 6364136223846793005ull + 1442695040888963407ull;
        return int((stato >> 33) % std::uint64_t(n));
    };
    QStringList testi;
    for (int i = 0; i < 120; ++i) {
        QString t;
        for (int k = 1 + Casuale(6); k > 0; --k) t += alfabeto[Casuale(int(alfabeto.size()))];
        testi << t;
    }
    ws.BeginTrans();
    int codice = 1000;
    for (const QString& t : testi)
        db->Esegui("INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (?1, ?2)", {codice++, t});
    ws.CommitTrans();
    auto Piega = [](QString s, bool senzaBlank) {
        while (senzaBlank && s.endsWith(' ')) s.chop(1);
        for (QChar& c : s)
            if (c >= 'A' && c <= 'Z') c = c.toLower();
        return s;
    };
    auto Codici = [&](const QString& condizione) {
        QList<int> r;
        auto snap = db->OpenSnapshot(
            "SELECT CliCodice FROM Clienti WHERE (CliCodice >= 1000) "
            "AND (" +
            condizione + ") ORDER BY CliCodice");
        for (; !snap->Eof(); snap->MoveNext()) r << snap->Field("CliCodice").toInt();
        return r;
    };
    for (const QString& t : testi) {
        QList<int> uguali, prefisso;
        for (int i = 0; i < testi.size(); ++i) {
            if (Piega(testi[i], true) == Piega(t, true)) uguali << 1000 + i;
            if (!t.contains('*') && Piega(testi[i], false).startsWith(Piega(t, false)))
                prefisso << 1000 + i;
        }
        QString q = t;
        EXPECT_EQ(Codici("CliRagSoc = '" + q.replace("'", "''") + "'"), uguali) << t.toStdString();
        if (t.contains('*')) continue;  // a wildcard of its own
        QString d = t;
        EXPECT_EQ(Codici("CliRagSoc LIKE \"" + d.replace("\"", "\"\"") + "*\""), prefisso)
            << t.toStdString();
    }
}

// A password is never shown, however the connection string writes it: not in the engine's
// message, not in the setup tool's output, not where libpq's cause repeats it.
TEST(PasswordNascosta, InOgniFormaDellaStringa) {
    struct Caso {
        const char* server;
        const char* segreto;
        const char* mostrato;  // what of the string the message still shows
    };
    const Caso casi[] = {
        {"postgresql://anagrafica:Segreto1@/postgres?host=/nessuna/cartella", "Segreto1",
         "/nessuna/cartella"},
        {"postgresql:///postgres?host=/nessuna/cartella&password=Segreto1", "Segreto1",
         "/nessuna/cartella"},
        {"host=/nessuna/cartella user=postgres password = 'sotto chiave'", "chiave",
         "/nessuna/cartella"},
        {"host=/nessuna/cartella password='l\\'ultima volta'", "volta", "/nessuna/cartella"},
        {"host=/nessuna/cartella sslpassword=Segreto1 password=Segreto2", "Segreto",
         "/nessuna/cartella"},
        {"service=nessun_servizio password=Segreto1", "Segreto1", "nessun_servizio"},
        // Strings libpq cannot read: its cause quotes the word it stopped at.
        {"host=/nessuna/cartella password=primo secondo", "secondo", "/nessuna/cartella"},
        {"postgresql://u:Se%zzgreto@/x?host=/nessuna/cartella", "greto", "/nessuna/cartella"},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.server);
        QString testo;
        try {
            Workspace ws(c.server);
            ws.OpenDatabase("prova");
        } catch (const Errore& e) {
            EXPECT_TRUE(e.Numero() == ErrConnessione) << e.Numero();
            testo = e.Descrizione();
        }
        EXPECT_FALSE(testo.isEmpty());
        EXPECT_FALSE(testo.contains(c.segreto)) << testo.toStdString();
        EXPECT_TRUE(testo.contains(c.mostrato)) << testo.toStdString();
        QString out, err;
        QTextStream so(&out), se(&err);
        EXPECT_EQ(setup::Esegui({"--server", c.server, "01"}, so, se), 1);
        EXPECT_TRUE(err.contains("nulla è stato cambiato")) << err.toStdString();
        EXPECT_FALSE((out + err).contains(c.segreto)) << err.toStdString();
    }
}

// What only a server does: refuse a connection, lose one, stream to a reader.
class MotoreServerTest : public MotoreTest {
  protected:
    // The error of an opening; a server that does not answer is given `scadenzaMs`.
    int Errore(const QString& server, const QString& nome, QString* descrizione,
               int scadenzaMs = 12000) {
        try {
            Workspace w(server);
            w.ImpostaScadenza(scadenzaMs);
            w.OpenDatabase(nome);
        } catch (const motore::Errore& e) {
            *descrizione = e.Descrizione();
            return e.Numero();
        }
        return 0;
    }
};
SOLO_SUL_SERVER(MotoreServerTest);

// A server that is no PostgreSQL, on a socket of its own: one that answers as a web server
// does; on the loopback, one that refuses TLS as a server without it does, or one that
// takes the connection and never answers (for 20 s, so that a program that waits for ever
// still ends).
struct ServerEstraneo {
    enum Modo { Web, SenzaTls, Muto };
    QTemporaryDir dir;
    int presa = -1;
    int porta = 0;
    std::thread filo;
    explicit ServerEstraneo(Modo modo) {
        if (modo != Web) {
            presa = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ::bind(presa, reinterpret_cast<sockaddr*>(&a), sizeof a);
            socklen_t n = sizeof a;
            ::getsockname(presa, reinterpret_cast<sockaddr*>(&a), &n);
            porta = ntohs(a.sin_port);
        } else {
            presa = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            const QByteArray percorso = (dir.path() + "/.s.PGSQL.5432").toLocal8Bit();
            std::strncpy(a.sun_path, percorso.constData(), sizeof a.sun_path - 1);
            ::bind(presa, reinterpret_cast<sockaddr*>(&a), sizeof a);
        }
        ::listen(presa, 1);
        filo = std::thread([this, modo] {
            const int c = ::accept(presa, nullptr, nullptr);
            if (c < 0) return;
            char buffer[256];
            if (modo == Muto) {
                pollfd p{c, POLLRDHUP, 0};
                ::poll(&p, 1, 20000);
            } else {
                (void)!::read(c, buffer, modo == SenzaTls ? 8 : sizeof buffer);
                const QByteArray risposta =
                    modo == SenzaTls ? "N" : "HTTP/1.0 400 Bad Request\r\n\r\n";
                (void)!::write(c, risposta.constData(), size_t(risposta.size()));
                (void)!::read(c, buffer, sizeof buffer);
            }
            ::close(c);
        });
    }
    ~ServerEstraneo() {
        ::shutdown(presa, SHUT_RDWR);
        ::close(presa);
        filo.join();
    }
};

// Every wrong connection gives the opening's error with its cause, within the deadline,
// with the password masked, and creates nothing.
TEST_P(MotoreServerTest, UnCollegamentoErratoDiceLaCausaENonCreaNulla) {
    const QString server = amb.Server();
    auto db = Apri();
    // Roles belong to the whole server: tests side by side take turns to make it.
    db->Esegui(
        "DO $$ BEGIN PERFORM pg_advisory_xact_lock(hashtext('anagrafica_password')); "
        "IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'anagrafica_password') "
        "THEN CREATE ROLE anagrafica_password LOGIN PASSWORD 'giusta'; END IF; END $$");
    // A wrong password, where the cluster asks one (scripts/pg_prova.sh makes it so).
    const bool password = db->Valore(
                                "SELECT count(*) FROM pg_hba_file_rules WHERE "
                                "'anagrafica_password' = ANY(user_name)")
                              .toInt() > 0;
    if (!password && qEnvironmentVariable("CI") == QLatin1String("true"))
        ADD_FAILURE() << "the test cluster asks no password of any role";
    ServerEstraneo web(ServerEstraneo::Web), senzaTls(ServerEstraneo::SenzaTls),
        muto(ServerEstraneo::Muto);
    int chiusa;  // a port where nothing listens
    {
        ServerEstraneo provvisorio(ServerEstraneo::SenzaTls);
        chiusa = provvisorio.porta;
    }
    const QString segreto = " password=segreta";
    struct Caso {
        QString server, nome;
        int errore;
        QString causa;
    };
    std::vector<Caso> casi = {
        {"host=/nessuna/cartella user=postgres" + segreto, "prova", ErrConnessione,
         "/nessuna/cartella"},
        {QString("host=127.0.0.1 port=%1 user=postgres").arg(chiusa) + segreto, "prova",
         ErrConnessione, "127.0.0.1"},
        {server + " dbname=nessun_database", "prova", ErrConnessione, "nessun_database"},
        {server + " user=nessun_utente" + segreto, "prova", ErrConnessione, "nessun_utente"},
        {server, "nessuno_schema", ErrPercorso, "nessuno_schema"},
        // The Unix socket never carries TLS: a server that refuses it stands on the loopback.
        {QString("host=127.0.0.1 port=%1 sslmode=require user=postgres").arg(senzaTls.porta) +
             segreto,
         "prova", ErrConnessione, "SSL"},
        {"host=" + web.dir.path() + " user=postgres" + segreto, "prova", ErrConnessione, "server"},
        {QString("host=127.0.0.1 port=%1 user=postgres").arg(muto.porta) + segreto, "prova",
         ErrConnessione, "timeout"},
    };
    if (password)
        casi.push_back({server + " user=anagrafica_password password=sbagliata", "prova",
                        ErrConnessione, "password"});
    // Over TLS, a certificate made out to another name than the one asked for.
    if (db->Valore("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()").toBool())
        casi.push_back(
            {server + " host=altronome" + segreto, "prova", ErrConnessione, "altronome"});
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.server.toStdString());
        QString testo;
        QElapsedTimer tempo;
        tempo.start();
        EXPECT_EQ(Errore(c.server, c.nome, &testo, 1500), c.errore) << testo.toStdString();
        EXPECT_LT(tempo.elapsed(), 10000) << "within the deadline";
        EXPECT_TRUE(testo.contains(c.causa)) << testo.toStdString();
        EXPECT_FALSE(testo.contains("segreta") || testo.contains("sbagliata"))
            << testo.toStdString();
    }
    if (password) {
        QString testo;
        EXPECT_EQ(Errore(server + " user=anagrafica_password password=giusta", "prova", &testo), 0)
            << testo.toStdString();
    }
    EXPECT_EQ(db->Valore("SELECT count(*) FROM pg_namespace WHERE nspname LIKE 'nessun%'").toInt(),
              0)
        << "nothing is made on a failed opening";
    EXPECT_EQ(db->Tabelle(), QStringList({"clienti", "localita"}));
}

// A connection dropped between two actions (a restart, a timeout, a router) costs
// nothing: reads outside a transaction, and a transaction that has sent nothing yet, go
// again on a new connection. Once a transaction has written, nothing is sent again: the
// error says so and the save leaves nothing.
TEST_P(MotoreServerTest, UnCollegamentoCadutoFraDueAzioniNonCostaNulla) {
    auto db = Apri();
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    rs->Seek("=", {3});
    db->OpenSnapshot("SELECT * FROM Clienti")->Close();
    amb.TroncaCollegamenti();
    rs->Seek("=", {7});
    EXPECT_EQ(rs->Field("CliRagsoc").toString(), "L'ALBA");
    EXPECT_FALSE(db->OpenSnapshot("SELECT * FROM Clienti")->Eof());

    amb.TroncaCollegamenti();
    ws.BeginTrans();
    rs->AddNew();
    rs->SetField("CliCodice", 49);
    rs->Update();
    ws.CommitTrans();

    ws.BeginTrans();
    rs->Seek("=", {3});
    amb.TroncaCollegamenti();
    EXPECT_EQ(NumeroErrore([&] { rs->Seek("=", {7}); }), ErrChiamata)
        << "a read inside a transaction lost what the transaction held";
    ws.Rollback();

    ws.BeginTrans();
    rs->AddNew();
    rs->SetField("CliCodice", 50);
    rs->Update();
    amb.TroncaCollegamenti();
    EXPECT_EQ(NumeroErrore([&] { ws.CommitTrans(); }), ErrChiamata);
    ws.Rollback();
    rs->Seek("=", {50});
    EXPECT_TRUE(rs->NoMatch());
    rs->Seek("=", {49});
    EXPECT_FALSE(rs->NoMatch());
}

// On servers of the test's own: a line cut at a chosen moment, a standby.
class ServerProprioTest : public ::testing::TestWithParam<Motore> {
  protected:
    // A save of a client, as the forms make it; its error, 0 when done.
    static int Salva(Workspace& ws, Recordset& rs, int codice, QString* testo = nullptr,
                     const std::function<void()>& primaDelCommit = {}) {
        ws.BeginTrans();
        rs.AddNew();
        rs.SetField("CliCodice", codice);
        rs.SetField("CliRagsoc", "PROVA");
        rs.Update();
        if (primaDelCommit) primaDelCommit();
        int errore = 0;
        try {
            ws.CommitTrans();
        } catch (const Errore& e) {
            errore = e.Numero();
            if (testo) *testo = e.Descrizione();
        }
        ws.Rollback();
        return errore;
    }
};
SOLO_SUL_SERVER(ServerProprioTest);

// A save whose COMMIT reaches the server but whose reply is lost (the line cut right after
// it) is confirmed as saved; one whose COMMIT never got there is said to be lost, and made
// again it is stored once.
TEST_P(ServerProprioTest, SiChiedeAlServerSeIlSalvataggioCE) {
    ServerProprio proprio;
    ProxyGuasto proxy(proprio.Server());
    AmbienteProva amb(Motore::Server, false, proxy.Server());
    Workspace ws(amb.Server());
    auto db = amb.ApriDitta(ws);
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    auto Salva = [&](int codice) { return ServerProprioTest::Salva(ws, *rs, codice); };
    proxy.Taglia(ProxyGuasto::Taglio::DopoIlCommit);
    EXPECT_EQ(Salva(1), 0) << "the save landed: it is confirmed";
    proxy.Taglia(ProxyGuasto::Taglio::PrimaDelCommit);
    EXPECT_EQ(Salva(2), ErrChiamata) << "the save is said to be lost";
    EXPECT_EQ(amb.Leggi("SELECT CliCodice FROM Clienti ORDER BY 1"), "1");
    EXPECT_EQ(Salva(2), 0) << "and can be made again";
    EXPECT_EQ(amb.Leggi("SELECT CliCodice FROM Clienti ORDER BY 1"), "1\n2");

    // No answer at all, the server frozen: the outcome is not guessed either way.
    ws.ImpostaScadenza(1500);
    QString testo;
    EXPECT_EQ(ServerProprioTest::Salva(ws, *rs, 3, &testo, [&] { proprio.Congela(); }),
              ErrChiamata);
    proprio.Riprendi();
    EXPECT_TRUE(testo.contains("non è noto")) << testo.toStdString();
}

// A standby takes over from a primary that is gone: the program, open on both, goes on
// with its next action, and nothing committed before is missing.
TEST_P(ServerProprioTest, UnoStandbyPrendeIlPosto) {
    ServerProprio primario;
    ServerProprio riserva(&primario);
    static const QRegularExpression host("host=(\\S+) port=(\\d+)");
    const auto p = host.match(primario.Server()), r = host.match(riserva.Server());
    ASSERT_TRUE(p.hasMatch() && r.hasMatch());
    AmbienteProva amb(Motore::Server, false,
                      QString("host=%1,%2 port=%3,%4 user=postgres dbname=postgres "
                              "target_session_attrs=read-write")
                          .arg(p.captured(1), r.captured(1), p.captured(2), r.captured(2)));
    Workspace ws(amb.Server());
    auto db = amb.ApriDitta(ws);
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    ASSERT_EQ(Salva(ws, *rs, 1), 0);
    primario.Spegni();
    riserva.Promuovi();
    int messaggi = 0;
    for (int volta = 0; volta < 3 && NumeroErrore([&] { rs->Seek("=", {1}); }) != 0; ++volta)
        ++messaggi;
    EXPECT_EQ(messaggi, 0) << "a read goes again, on the standby, without a word";
    EXPECT_FALSE(rs->NoMatch()) << "nothing committed before is missing";
    EXPECT_EQ(Salva(ws, *rs, 2), 0);
    EXPECT_EQ(amb.Leggi("SELECT CliCodice FROM Clienti ORDER BY 1"), "1\n2");
}

// A long read streams: the first rows come at once, nothing it holds keeps a writer
// waiting, and closing it early ends the query on the server.
TEST_P(MotoreServerTest, LaLetturaInFlussoNonTieneNullaEFinisceSulServer) {
    auto db = Apri();
    AggiungiClienti(*db, 1000, 41000);
    auto Attive = [&] {
        return db
            ->Valore(
                "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() "
                "AND state = 'active' AND query LIKE '%ORDER BY CliCodice DESC%' AND pid <> "
                "pg_backend_pid()")
            .toInt();
    };
    auto snap = db->OpenSnapshot("SELECT * FROM Clienti ORDER BY CliCodice DESC");
    for (int i = 0; i < 5; ++i) snap->MoveNext();
    EXPECT_EQ(snap->Field("CliCodice").toInt(), 40994);
    EXPECT_EQ(Attive(), 1) << "the rest is still on the server";

    Workspace altro(amb.Server());
    altro.ImpostaAttesaBlocco(200);
    auto db2 = altro.OpenDatabase(percorso);
    altro.BeginTrans();
    EXPECT_NO_THROW(
        db2->Esegui("UPDATE Clienti SET CliRagsoc = 'SCRITTO' WHERE CliCodice = 40990"));
    EXPECT_NO_THROW(altro.CommitTrans());

    snap->Close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Attive() == 0; }, 3000));
    snap = db->OpenSnapshot("SELECT CliRagsoc FROM Clienti ORDER BY CliCodice DESC");
    snap->MoveNext();
    EXPECT_EQ(snap->Field("CliRagsoc").toString(), "CLIENTE NUMERO 40998")
        << "the same connection serves the next read";
}

TEST_P(MotoreServerTest, OgniPassoUnViaggio) {
    auto db = Apri();
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    qint64 prima = ws.Viaggi();
    rs->Seek("=", {3});
    EXPECT_EQ(rs->Field("CliRagsoc").toString(), "ROSSI SPA");
    EXPECT_EQ(ws.Viaggi() - prima, 1) << "a seek on a known index";
    db->OpenSnapshot("SELECT 1")->Close();  // the reading connection, made once
    prima = ws.Viaggi();
    auto snap = db->OpenSnapshot("SELECT CliCodice FROM Clienti WHERE (CliRagSoc = 'ROSSI SPA')");
    for (; !snap->Eof(); snap->MoveNext()) {
    }
    EXPECT_EQ(ws.Viaggi() - prima, 1) << "a short snapshot";
    prima = ws.Viaggi();
    ws.BeginTrans();
    rs->Seek("=", {3});
    rs->Edit();
    rs->SetField("CliRagsoc", "ROSSI SRL");
    rs->Update();
    ws.CommitTrans();
    EXPECT_EQ(ws.Viaggi() - prima, 4) << "begin, seek, update, commit";
}

}  // namespace
