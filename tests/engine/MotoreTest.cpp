// The engine's interface on both engines: seeks, writes, transactions, locks, and the forms'
// dialect, whose text comparisons are checked against the rule they promise.

#include "engine/ProvaMotore.h"
#include "engine/postgres/Traduzione.h"
#include "engine/sqlite/Traduzione.h"

#include <QRegularExpression>

using namespace motore;

namespace {

SU_OGNI_MOTORE(MotoreTest);

// Every misuse and every refusal raises its own number.
TEST_P(MotoreTest, OgniErroreHaIlSuoNumero) {
    auto db = Apri();
    auto rs = db->OpenTable("clienti");  // names are matched without regard to case
    EXPECT_EQ(rs->FieldSize("CliRagsoc"), 35);
    const std::pair<std::function<void()>, int> casi[] = {
        {[&] { db->OpenTable("Fornitori"); }, ErrTabellaMancante},
        {[&] { db->OpenSnapshot("SELECT * FROM Nessuna"); }, ErrTabellaMancante},
        {[&] { db->OpenSnapshot("SELEC * FROM Clienti"); }, ErrSintassi},
        {[&] { rs->Seek("=", {3}); }, ErrSenzaIndice},
        {[&] { rs->SetIndex("nessuno"); }, ErrIndiceMancante},
        {[&] { rs->Field("NonCe"); }, ErrCampoMancante},
        {[&] { rs->SetField("CliRagsoc", "X"); }, ErrNessunModifica},
        {[&] {
             rs->SetIndex("primaria");
             rs->Seek("=", {5});
             rs->Field("CliCodice");
         },
         ErrNessunRecord},
        {[&] {
             rs->AddNew();
             rs->SetField("CliRagsoc", QString(36, 'A'));
         },
         ErrCampoTroppoPiccolo},
        {[&] {
             rs->SetField("CliCodice", 3);
             rs->Update();
         },
         ErrChiaveDuplicata},
    };
    for (size_t i = 0; i < std::size(casi); ++i)
        EXPECT_EQ(NumeroErrore(casi[i].first), casi[i].second) << "case " << i;
}

TEST_P(MotoreTest, SeekConOgniConfronto) {
    auto db = Apri();
    auto clienti = db->OpenTable("Clienti");
    auto localita = db->OpenTable("LOCALITA");
    struct Caso {
        const char *tabella, *indice, *op;
        QVariantList chiavi;
        const char* colonna;
        QString atteso;  // null: no match
    };
    const Caso casi[] = {
        {"Clienti", "primaria", "=", {7}, "CliRagsoc", "L'ALBA"},
        // The next free code is the last one + 1.
        {"Clienti", "primaria", "<=", {2147483646}, "CliCodice", "12"},
        {"Clienti", "primaria", "<", {12}, "CliCodice", "7"},
        {"Clienti", "primaria", ">", {3}, "CliCodice", "7"},
        {"Clienti", "primaria", ">=", {8}, "CliCodice", "12"},
        {"Clienti", "primaria", "=", {5}, "", {}},
        {"Clienti", "primaria", "<", {3}, "", {}},
        // Trailing blanks do not count; the row keeps its own.
        {"Clienti", "CliPartitaIva", "=", {"01234567890"}, "CliPartitaIva", "01234567890 "},
        {"LOCALITA", "primaria", ">=", {"ROM", ""}, "LocCAP", "00118"},
        {"LOCALITA", "primaria", ">", {"ROMA", "00199"}, "LocLocalita", "ROMANO"},
        {"LOCALITA", "primaria", "<", {"ROMA", "00118"}, "LocLocalita", "MILANO"},
        {"LOCALITA", "primaria", ">", {"ZZZ", ""}, "", {}},
        {"LOCALITA", "primaria", "=", {"BARI", "70121"}, "LocProvincia", "BA"},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(std::string(c.op) + " " + c.chiavi.front().toString().toStdString());
        Recordset& rs = QString(c.tabella) == "Clienti" ? *clienti : *localita;
        rs.SetIndex(c.indice);
        rs.Seek(c.op, c.chiavi);
        EXPECT_EQ(rs.NoMatch(), c.atteso.isNull());
        if (!c.atteso.isNull()) {
            EXPECT_EQ(rs.Field(c.colonna).toString(), c.atteso);
        }
    }
    // Paging in index order.
    localita->MoveNext();
    EXPECT_EQ(localita->Field("LocLocalita").toString(), "MILANO");
    clienti->SetIndex("primaria");
    clienti->Seek("=", {7});
    EXPECT_TRUE(clienti->Field("CliEsenzioneDat").isNull()) << "null must stay null";
}

// A write of every kind through the data layer: tests/data/SalvataggioTest.cpp, where a
// second writer's lock is met too. What only the recordset shows stays here.
TEST_P(MotoreTest, CancellazioneNelleTransazioni) {
    auto db = Apri();
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    rs->Seek("=", {3});
    rs->Delete();
    EXPECT_EQ(NumeroErrore([&] { rs->Edit(); }), ErrNessunRecord);
    rs->Seek("=", {3});
    EXPECT_TRUE(rs->NoMatch());

    ws.BeginTrans();
    rs->Seek("=", {7});
    rs->Delete();
    ws.Rollback();
    rs->Seek("=", {7});
    EXPECT_FALSE(rs->NoMatch()) << "a rolled-back delete must leave the row";
}

TEST_P(MotoreTest, SnapshotNelDialettoDeiModuli) {
    auto db = Apri();
    auto Codici = [&](const QString& sql) {
        QList<int> r;
        auto snap = db->OpenSnapshot(sql);
        // Columns are named without regard to case.
        for (; !snap->Eof(); snap->MoveNext()) r << snap->Field("clicodice").toInt();
        return r;
    };
    EXPECT_EQ(Codici("select CliCodice from Clienti where (CliRagSoc like \"rossi*\") and "
                     "(CliPartitaIva LIKE '0123*') order by CliCodice desc"),
              QList<int>{3});
    // The similar-client range: from the key and a blank to the key and "zzz", in text order.
    EXPECT_EQ(Codici("SELECT CliCodice, CliPartitaIva FROM Clienti WHERE CliPartitaIva BETWEEN "
                     "'0123456789 ' AND '0123456789zzz' ORDER BY CliPartitaIva"),
              (QList<int>{7, 3}));
    EXPECT_EQ(db->OpenSnapshot("SELECT CliCodice FROM Clienti")->FieldSize("CliCodice"), 4);
}

// The forms' equalities, ranges and prefixes find what a person would, whatever is typed:
// case and trailing blanks do not count, "*" is the only wildcard, and no text changes the
// query. Checked against that rule, written out here, without the search indexes and with
// them, which the plans must then seek.
TEST_P(MotoreTest, IConfrontiDiTestoSeguonoLaRegola) {
    auto db = Apri();
    QStringList testi = {
        "abc",         "ABC",    "Abc  ",  "abc\x01", "abc!",    "ab",       "abd",     "ABCD",
        " abc",        "",       "   ",    "a'b",     "A'B ",    "\u00e9",   "\u00c9",  "zz{",
        "ABC\t",       "b",      "B  ",    "abz",     "ROS",     "ROSSI   ", "Rossini", "ROSSO",
        "rossi mario", "ROSS?X", "ROSS_X", "ROSS%X",  "ROSS[X]", "ROSSJ",    "ZZZ"};
    const QString alfabeto = QString::fromUtf8("'\"\\%_*?[];-/ aAzZ\u00e9\u00c9\n\t01$()=E");
    std::uint64_t stato = 20261207;
    auto Casuale = [&](int n) {
        stato = stato * 6364136223846793005ull + 1442695040888963407ull;
        return int((stato >> 33) % std::uint64_t(n));
    };
    for (int i = 0; i < 120; ++i) {
        QString t;
        for (int k = 1 + Casuale(6); k > 0; --k) t += alfabeto[Casuale(int(alfabeto.size()))];
        testi << t;
    }
    ws.BeginTrans();
    for (int i = 0; i < testi.size(); ++i)
        db->Esegui("INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (?1, ?2)",
                   {1000 + i, testi[i]});
    ws.CommitTrans();
    auto Regola = [](QString s, bool senzaBlank) {
        while (senzaBlank && s.endsWith(' ')) s.chop(1);
        for (QChar& c : s)
            if (c >= 'A' && c <= 'Z') c = c.toLower();
        return s.toUtf8();
    };
    auto Attesi = [&](const std::function<bool(const QString&)>& regola) {
        QList<int> r;
        for (int i = 0; i < testi.size(); ++i)
            if (regola(testi[i])) r << 1000 + i;
        return r;
    };
    auto Trovati = [&](const QString& condizione) {
        QList<int> r;
        auto snap =
            db->OpenSnapshot("SELECT CliCodice FROM Clienti WHERE (CliCodice >= 1000) AND (" +
                             condizione + ") ORDER BY CliCodice");
        for (; !snap->Eof(); snap->MoveNext()) r << snap->Field("CliCodice").toInt();
        return r;
    };
    auto Quota = [](QString s, QChar q) { return q + s.replace(q, QString(2, q)) + q; };
    const QStringList sonde =
        testi + QStringList{"rossi ", "ZZ", "ROSS?", "ROSS_", "ROSS%", "ROSS["};
    const QStringList limiti = {"abc", "ABC ", "a'b", "", "\u00e9", "ABC\t", "ab", "b", "abczzz"};
    for (bool indici : {false, true}) {
        SCOPED_TRACE(indici ? "with the search indexes" : "without them");
        if (indici) {
            db->CreaIndice("Clienti", "RicercaRagsoc", {"CliRagsoc"}, TipoIndice::Ricerca);
            db->CreaIndice("Clienti", "RicercaPartitaIva", {"CliPartitaIva"}, TipoIndice::Ricerca);
        }
        for (const QString& t : sonde) {
            EXPECT_EQ(Trovati("CliRagSoc = " + Quota(t, '\'')),
                      Attesi([&](const QString& v) { return Regola(v, true) == Regola(t, true); }))
                << t.toStdString();
            if (t.contains('*')) continue;  // a wildcard of its own
            EXPECT_EQ(Trovati("CliRagSoc LIKE " + Quota(t + '*', '"')),
                      Attesi([&](const QString& v) {
                          return Regola(v, false).startsWith(Regola(t, false));
                      }))
                << t.toStdString();
        }
        for (const QString& x : limiti)
            for (const QString& y : limiti)
                EXPECT_EQ(Trovati("CliRagSoc BETWEEN " + Quota(x, '\'') + " AND " + Quota(y, '\'')),
                          Attesi([&](const QString& v) {
                              return Regola(x, true) <= Regola(v, true) &&
                                     Regola(v, true) <= Regola(y, true);
                          }))
                    << x.toStdString() << " .. " << y.toStdString();
    }
    // A handful of rows would be read whole by a server that can choose. Of an equality and a
    // prefix the equality is sought, of two prefixes the longer; the server's planner picks
    // among the search indexes by their statistics.
    if (amb.SulServer()) db->Esegui("SET enable_seqscan = off");
    const char* piani[][3] = {
        {"CliPartitaIva = 'abc') ORDER BY CliPartitaIva", "RicercaPartitaIva", "Ricerca"},
        {"CliPartitaIva BETWEEN 'a ' AND 'azzz') ORDER BY CliPartitaIva", "RicercaPartitaIva",
         "Ricerca"},
        {"CliRagSoc LIKE 'ROSSI*') AND (CliPartitaIva = '01234567890') ORDER BY CliPartitaIva",
         "RicercaPartitaIva", "Ricerca"},
        {"CliRagSoc LIKE \"ROSSI*\") ORDER BY  CliCodice ASC, CliRagSoc ASC", "RicercaRagsoc",
         "RicercaRagsoc"},
        {"CliRagSoc LIKE \"ROSSI*\") AND (CliPartitaIva LIKE '8*') ORDER BY  CliCodice ASC, "
         "CliRagSoc ASC",
         "RicercaRagsoc", "Ricerca"},
    };
    for (const auto& p : piani) {
        const QString piano = db->Piano("SELECT * FROM Clienti WHERE (" + QString(p[0])).join('|');
        EXPECT_TRUE(piano.contains(QString("Clienti.") + p[amb.SulServer() ? 2 : 1]))
            << p[0] << ": " << piano.toStdString();
    }
}

// The exact text each engine gets where the results cannot tell: a literal means the same
// whatever the server's settings, names in brackets, a range only where it can seek, a
// bound below the blank, comparisons that are not the dialect's.
TEST(Dialetto, OgniMotoreScriveLaSuaTraduzione) {
    const char* file[][2] = {
        {"SELECT * FROM Clienti  WHERE (CliRagSoc LIKE \"ROSSI*\") ORDER BY  CliCodice ASC",
         "SELECT * FROM Clienti  WHERE ((CliRagSoc LIKE 'ROSSI%' AND CliRagSoc COLLATE NOCASE >= "
         "'rossi' AND CliRagSoc COLLATE NOCASE < 'rossj')) ORDER BY  CliCodice ASC"},
        {"where (CliRagSoc = \"L'ALBA \"\"2\"\" \")",
         "where ((rtrim(CliRagSoc) = 'L''ALBA \"2\"' COLLATE NOCASE AND CliRagSoc COLLATE NOCASE "
         ">= 'l''alba \"2\"' AND CliRagSoc COLLATE NOCASE < 'l''alba \"2\"!'))"},
        {"x like 'A_B%C*D'", "x LIKE 'A\\_B\\%C%D' ESCAPE '\\'"},
        {"t.x NOT LIKE 'A*'", "t.x NOT LIKE 'A%'"},
        {"[a b] LIKE '*'", "[a b] LIKE '%'"},
        // A bound below the blank could not close the range of the trailing blanks.
        {"c BETWEEN 'A ' and 'B\t'",
         "(rtrim(c) COLLATE NOCASE BETWEEN 'A' AND 'B\t' AND c COLLATE NOCASE >= 'a')"},
        {"CliCodice = 5 AND x = y", "CliCodice = 5 AND x = y"},
    };
    for (const auto& c : file) EXPECT_EQ(sqlite::Traduci(c[0]), c[1]);
    EXPECT_EQ(sqlite::Traduci("x = 'A*B'", [](auto&, auto&) { return false; }),
              "rtrim(x) = 'A*B' COLLATE NOCASE")
        << "only LIKE patterns have wildcards, and only a searchable column gets a range";
    const char* server[][2] = {
        // A backslash means itself whatever the server's standard_conforming_strings.
        {"where (x = 'A\\'' OR ''1''=''1 ')",
         "where (lower(rtrim(x::text)) COLLATE \"C\" = E'a\\\\'' or ''1''=''1')"},
        {"x LIKE 'A_B%C\\*D'", "lower(x::text) LIKE E'a\\\\_b\\\\%c\\\\\\\\%d'"},
        {"t.[A b] BETWEEN 'R ' and 'Rzzz' ORDER BY [A b]",
         "lower(rtrim(t.\"a b\"::text)) COLLATE \"C\" BETWEEN 'r' AND 'rzzz' ORDER BY \"a b\""},
        {"CliCodice = 5 AND x NOT LIKE 'A*'", "CliCodice = 5 AND lower(x::text) NOT LIKE 'a%'"},
    };
    for (const auto& c : server) EXPECT_EQ(postgres::Traduci(c[0]), c[1]);
    EXPECT_EQ(NumeroErrore([] { sqlite::Traduci("x = 'aperta"); }), ErrSintassi);
    EXPECT_EQ(NumeroErrore([] { postgres::Traduci(QString("x = 'a") + QChar(0) + "'"); }),
              ErrSintassi);
}

}  // namespace
