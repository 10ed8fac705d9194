// What only files can do wrong: a file that is no sound database, a read-only file or
// folder, a file replaced under the program, the journal left for the sqlite3 shell, the
// log that must not stay large, and a network folder, which never uses the log.

#include "engine/ProvaMotore.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

#include <sqlite3.h>

#include <unistd.h>

using namespace motore;

namespace {

class MotoreFileTest : public MotoreTest {};
INSTANTIATE_TEST_SUITE_P(Motori, MotoreFileTest, ::testing::Values(Motore::File), NomeMotore);

bool InWal(const QString& percorso) {
    QFile f(percorso);
    return f.open(QIODevice::ReadOnly) && f.read(20).at(18) == 2;
}

// A database that is missing, empty, foreign, truncated or damaged is refused, and never
// created or changed.
TEST_P(MotoreFileTest, ApreSoloDatabaseEsistentiESani) {
    auto Scrivi = [](const QString& p, qint64 da, const QByteArray& dati) {
        QFile f(p);
        f.open(QIODevice::ReadWrite);
        f.seek(da);
        f.write(dati);
    };
    const struct {
        const char* nome;
        std::function<void(const QString&)> prepara;
        std::vector<int> errori;
    } casi[] = {
        {"manca.mdb", [](const QString&) {}, {ErrFileMancante}},
        {"vuoto.mdb", [&](const QString& p) { Scrivi(p, 0, {}); }, {ErrFormato}},
        {"testo.mdb", [&](const QString& p) { Scrivi(p, 0, QByteArray(8192, 'x')); }, {ErrFormato}},
        {"", [](const QString&) {}, {ErrFormato}},  // the folder
        // Truncated to its first page: the header still promises the missing pages.
        {"tronco.mdb",
         [&](const QString& p) {
             QFile::copy(percorso, p);
             QFile(p).resize(4096);
         },
         {ErrDanneggiato}},
        // The schema page overwritten with garbage.
        {"guasto.mdb",
         [&](const QString& p) {
             QFile::copy(percorso, p);
             Scrivi(p, 100, QByteArray(3000, 'Z'));
         },
         {ErrDanneggiato, ErrFormato}},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        const QString p = amb.Radice() + c.nome;
        c.prepara(p);
        const QFileInfo prima(p);
        Workspace w;
        const int n = NumeroErrore([&] { w.OpenDatabase(p)->OpenTable("Clienti"); });
        EXPECT_NE(std::find(c.errori.begin(), c.errori.end(), n), c.errori.end()) << n;
        const QFileInfo dopo(p);
        EXPECT_EQ(dopo.exists(), prima.exists()) << "a missing database must never be created";
        EXPECT_EQ(dopo.size(), prima.size());
    }
    EXPECT_NO_THROW(Apri());
}

QString CausaDiAccesso(const std::function<void()>& f) {
    try {
        f();
    } catch (const Errore& e) {
        EXPECT_EQ(e.Numero(), ErrAccesso);
        return e.Descrizione();
    }
    return "<nessun errore>";
}

// The file read-only, or its folder (where the journal cannot be made): a write fails with
// its number and says so, and leaves nothing. A file left in WAL mode in such a folder cannot
// have its log beside it: the opening says what to do.
TEST_P(MotoreFileTest, SolaLetturaFallisceInScrittura) {
    const auto scrivibile = QFile::ReadOwner | QFile::WriteOwner;
    for (const QString& bloccato : {percorso, amb.Radice()}) {
        SCOPED_TRACE(bloccato.toStdString());
        const auto eseguibile = bloccato == percorso ? QFile::Permissions() : QFile::ExeOwner;
        QFile::setPermissions(bloccato, QFile::ReadOwner | eseguibile);
        // Root ignores permission bits; an immutable file or folder stops root too.
        const bool immutabile =
            geteuid() == 0 && QProcess::execute("chattr", {"+i", bloccato}) == 0;
        QString testo;
        bool scritto = false;
        if (geteuid() != 0 || immutabile) {
            auto db = Apri();
            auto rs = db->OpenTable("Clienti");
            rs->SetIndex("primaria");
            rs->AddNew();
            rs->SetField("CliCodice", 99);
            EXPECT_EQ(NumeroErrore([&] {
                          try {
                              rs->Update();
                          } catch (const Errore& e) {
                              testo = e.Descrizione();
                              throw;
                          }
                      }),
                      ErrSolaLettura);
            rs->Seek("=", {99});
            scritto = !rs->NoMatch();
        }
        if (immutabile) QProcess::execute("chattr", {"-i", bloccato});
        QFile::setPermissions(bloccato, scrivibile | eseguibile);
        if (geteuid() == 0 && !immutabile) continue;  // no way to make it read-only
        EXPECT_TRUE(testo.contains("sola lettura")) << testo.toStdString();
        EXPECT_FALSE(scritto);
    }

    Sqlite3(percorso, "PRAGMA journal_mode=wal");
    QFile::setPermissions(amb.Radice(), QFile::ReadOwner | QFile::ExeOwner);
    const bool immutabile =
        geteuid() == 0 && QProcess::execute("chattr", {"+i", amb.Radice()}) == 0;
    QString testo = "<non provato>";
    if (geteuid() != 0 || immutabile)
        testo = CausaDiAccesso([&] { Apri()->Valore("SELECT count(*) FROM Clienti"); });
    if (immutabile) QProcess::execute("chattr", {"-i", amb.Radice()});
    QFile::setPermissions(amb.Radice(), scrivibile | QFile::ExeOwner);
    if (geteuid() != 0 || immutabile) {
        EXPECT_TRUE(testo.contains("creare i file del registro")) << testo.toStdString();
    }
}

TEST_P(MotoreFileTest, UnFileSostituitoSottoIlProgrammaLoDice) {
    auto db = Apri();
    auto rs = db->OpenTable("Clienti");
    rs->SetIndex("primaria");
    const QString copia = amb.Radice() + "copia.mdb";
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

// While the program has the file open the shell reads what it committed, still in the log;
// once it is closed the shell finds one file in the rollback journal.
TEST_P(MotoreFileTest, IlFileRestaLeggibileDallaShellSqlite) {
    {
        auto db = Apri();
        ws.BeginTrans();
        db->Esegui("INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (40, 'DALLA SHELL')");
        ws.CommitTrans();
        EXPECT_EQ(
            Sqlite3(percorso,
                    "PRAGMA journal_mode; SELECT CliRagsoc FROM Clienti WHERE CliCodice = 40"),
            "wal\nDALLA SHELL");
    }
    EXPECT_EQ(Sqlite3(percorso,
                      "PRAGMA journal_mode; SELECT CliRagsoc FROM Clienti WHERE CliCodice = 40; "
                      "PRAGMA integrity_check;"),
              "delete\nDALLA SHELL\nok");
    EXPECT_FALSE(QFile::exists(percorso + "-wal"));
    EXPECT_FALSE(QFile::exists(percorso + "-shm"));

    // A program that can only read keeps the file open past the last writer, so the log
    // stays: its saves are in the file all the same, which a copy of the file alone takes.
    sqlite3* lettore = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(percorso).constData(), &lettore,
                              SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    {
        auto db = Apri();
        ASSERT_EQ(sqlite3_exec(lettore, "SELECT count(*) FROM Clienti", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        db->Esegui("UPDATE Clienti SET CliRagsoc = 'NEL FILE' WHERE CliCodice = 40");
    }
    const QString copia = amb.Radice() + "copia.mdb";
    ASSERT_TRUE(QFile::copy(percorso, copia));
    EXPECT_EQ(Sqlite3(copia, "SELECT CliRagsoc FROM Clienti WHERE CliCodice = 40"), "NEL FILE");
    sqlite3_close_v2(lettore);
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
    ASSERT_GT(QFileInfo(percorso + "-wal").size(), 12 << 20)
        << "the read kept the log from being copied back";
    snap->Close();
    for (int i = 0; i < 3; ++i)
        db->Esegui("UPDATE Clienti SET CliPartitaIva = '1' WHERE CliCodice = 3");
    EXPECT_LE(QFileInfo(percorso + "-wal").size(), 4 << 20);
}

// A network folder keeps the rollback journal: the log's index is memory shared by the
// programs of one computer. A file left in write-ahead-log mode (its program on the local
// disk ended without closing it, its last save only in the log) goes back to the journal,
// losing nothing. While a program on the local disk has it in that mode it is refused,
// rather than read through a log index that does not reach across computers.
TEST_P(MotoreFileTest, InReteSoloIlGiornale) {
    {
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
    ws.ImpostaCartellaDiRete(true);
    auto dallaRete = ws.OpenDatabase(percorso);
    EXPECT_FALSE(InWal(percorso));
    EXPECT_FALSE(QFile::exists(percorso + "-wal"));
    EXPECT_EQ(dallaRete->Valore("SELECT CliRagsoc FROM Clienti WHERE CliCodice = 50").toString(),
              "NEL REGISTRO");
    dallaRete->Esegui("INSERT INTO Clienti (CliCodice) VALUES (51)");
    EXPECT_FALSE(InWal(percorso));
    EXPECT_FALSE(QFile::exists(percorso + "-shm")) << "no memory is shared through the network";

    ws.ImpostaAttesaBlocco(50);
    {
        Workspace locale;
        auto db = locale.OpenDatabase(percorso);
        db->Esegui("UPDATE Clienti SET CliRagsoc = 'LOCALE' WHERE CliCodice = 3");
        const QString testo = CausaDiAccesso(
            [&] { dallaRete->Valore("SELECT CliRagsoc FROM Clienti WHERE CliCodice = 3"); });
        EXPECT_TRUE(testo.contains("cartella di rete")) << testo.toStdString();
        Workspace altraRete;
        altraRete.ImpostaAttesaBlocco(50);
        altraRete.ImpostaCartellaDiRete(true);
        EXPECT_TRUE(CausaDiAccesso([&] { altraRete.OpenDatabase(percorso); }).contains("WAL"));
        EXPECT_EQ(db->Valore("SELECT CliRagsoc FROM Clienti WHERE CliCodice = 3").toString(),
                  "LOCALE");
    }
    // Closed there, the file is back in the journal, and the network's program goes on.
    EXPECT_EQ(dallaRete->Valore("SELECT CliRagsoc FROM Clienti WHERE CliCodice = 3").toString(),
              "LOCALE");
    EXPECT_EQ(dallaRete->Valore("PRAGMA integrity_check").toString(), "ok");

    // There a reader holds off a COMMIT: the write fails whole, holds no lock after, and
    // nothing of it is left for the next transaction to commit.
    sqlite3* altro = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(percorso).constData(), &altro), SQLITE_OK);
    auto Righe = [&](int codice) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(altro, "SELECT count(*) FROM Clienti WHERE CliCodice = ?1", -1, &st,
                           nullptr);
        sqlite3_bind_int(st, 1, codice);
        const int n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
        sqlite3_finalize(st);
        return n;
    };
    sqlite3_stmt* lettura = nullptr;
    sqlite3_prepare_v2(altro, "SELECT CliCodice FROM Clienti", -1, &lettura, nullptr);
    ASSERT_EQ(sqlite3_step(lettura), SQLITE_ROW);  // a search still reading
    ws.BeginTrans();
    dallaRete->Esegui("INSERT INTO Clienti (CliCodice) VALUES (70)");
    int numero = 0;
    try {
        ws.CommitTrans();
    } catch (const Errore& e) {
        numero = e.Numero();
    }
    EXPECT_EQ(numero, ErrBloccato);
    sqlite3_finalize(lettura);
    EXPECT_EQ(Righe(70), 0) << "read by another program: nothing held, nothing written";
    ws.BeginTrans();
    dallaRete->Esegui("INSERT INTO Clienti (CliCodice) VALUES (71)");
    ws.CommitTrans();
    EXPECT_EQ(Righe(71), 1);
    EXPECT_EQ(Righe(70), 0) << "not committed by the next transaction";
    sqlite3_close(altro);
}

}  // namespace
