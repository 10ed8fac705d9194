// Makes the million-client company once per build folder and once per server schema, with
// the setup tool's own generator, so that later runs measure without waiting for it; the
// latency benchmarks reach the server through the delaying proxy.

#include "DittaGrande.h"

#include "Setup.h"
#include "data/Clienti.h"
#include "engine/Motore.h"
#include "support/ProxyGuasto.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>

namespace {

// ANAGRAFICA_PG_RITARDO (milliseconds) puts the server (on its Unix socket) that much
// farther away: each round trip takes as much more.
QString Server() {
    const QString server = qEnvironmentVariable("ANAGRAFICA_PG_BENCH").trimmed();
    const int ritardo = qEnvironmentVariableIntValue("ANAGRAFICA_PG_RITARDO");
    if (server.isEmpty() || ritardo <= 0) return server;
    static ProxyGuasto* lontano = [&] {
        auto* p = new ProxyGuasto(server);
        p->Ritarda(ritardo);
        return p;
    }();
    return lontano->Server();
}

const QString kSchema = QStringLiteral("ditta_bench");

QString PercorsoDitta() {
    const QString cartella = QDir::currentPath() + "/bench-data";
    const QString percorso = cartella + QString("/Completo-%1.mdb").arg(kClienti);
    if (!QFile::exists(percorso)) {
        QDir().mkpath(cartella);
        std::fprintf(stderr, "generating %lld clients in %s...\n", kClienti, qPrintable(percorso));
        setup::CreaAzienda(percorso, kClienti);
    }
    return percorso;
}

// The same company on the server, made once in one transaction.
void PreparaServer() {
    motore::Workspace ws(Server());
    try {
        ws.OpenDatabase(kSchema);
        return;
    } catch (const motore::Errore& e) {
        if (e.Numero() != motore::ErrPercorso) throw;
    }
    std::fprintf(stderr, "generating %lld clients in the schema %s...\n", kClienti,
                 qPrintable(kSchema));
    QElapsedTimer tempo;
    tempo.start();
    ws.BeginTrans();
    auto db = ws.CreaDatabase(kSchema);
    setup::RiempiAzienda(*db, kClienti);
    ws.CommitTrans();
    // The planner's statistics, which a server would gather on its own a little later.
    db->Esegui("ANALYZE Clienti");
    std::fprintf(stderr, "  %lld ms\n", tempo.elapsed());
}

}  // namespace

Ditta::Ditta(bool server) {
    auto& env = g.EnvironmentSettings;
    env.CompanyCode = "01";
    env.EnvironmentFile = QDir::currentPath() + "/bench-data/KestorEx.ini";
    if (server) {
        PreparaServer();
        env.Server = Server();
        env.Workspace = std::make_unique<motore::Workspace>(env.Server);
        env.CompanyDatabase = env.Workspace->OpenDatabase(kSchema);
    } else {
        env.Workspace = std::make_unique<motore::Workspace>();
        env.CompanyDatabase = env.Workspace->OpenDatabase(PercorsoDitta());
    }
    ApriClienti(g);
}

motore::Database& Ditta::db() {
    return *g.EnvironmentSettings.CompanyDatabase;
}

bool ServerDisponibile() {
    return !Server().isEmpty();
}

Ditta* LaDitta(bool server) {
    if (server && !ServerDisponibile()) return nullptr;
    static Ditta* ditte[2] = {};
    if (!ditte[server]) ditte[server] = new Ditta(server);
    return ditte[server];
}

Ditta* DittaDi(benchmark::State& state) {
    Ditta* d = LaDitta(state.range(0) != 0);
    if (!d) state.SkipWithError("ANAGRAFICA_PG_BENCH names no server");
    return d;
}

void MostraPiano(motore::Database& db, const char* nome, const QString& sql) {
    std::fprintf(stderr, "%s\n  %s\n", nome, qPrintable(sql));
    for (const QString& passo : db.Piano(sql)) std::fprintf(stderr, "  -> %s\n", qPrintable(passo));
}

void MostraPianoNativo(motore::Database& db, bool server, const char* nome, const QString& sql,
                       const QVariantList& parametri) {
    std::fprintf(stderr, "%s\n  %s\n", nome, qPrintable(sql));
    for (const auto& r : db.Righe((server ? "EXPLAIN " : "EXPLAIN QUERY PLAN ") + sql, parametri))
        std::fprintf(stderr, "  -> %s\n", qPrintable(r.value(server ? 0 : 3).toString()));
}

double Memoria(const char* voce) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray chiave = QByteArray(voce) + ':';
    for (const QByteArray& riga : f.readAll().split('\n'))
        if (riga.startsWith(chiave))
            return riga.mid(chiave.size()).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}

void ContaViaggi(benchmark::State& state, Ditta& d, qint64 prima) {
    const qint64 viaggi = d.g.EnvironmentSettings.Workspace->Viaggi() - prima;
    state.counters["viaggi"] = state.iterations() ? double(viaggi) / double(state.iterations()) : 0;
}

namespace {

double Millisecondi(std::chrono::steady_clock::time_point da) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - da).count();
}

qint64 LeggiFile(sqlite3* c, const QByteArray& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK)
        std::fprintf(stderr, "raw read: %s\n", sqlite3_errmsg(c));
    qint64 righe = 0, byte = 0;
    const int colonne = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
        ++righe;
        for (int k = 0; k < colonne; ++k) {
            benchmark::DoNotOptimize(sqlite3_column_text(st, k));
            byte += sqlite3_column_bytes(st, k);
        }
    }
    sqlite3_finalize(st);
    benchmark::DoNotOptimize(byte);
    return righe;
}

qint64 LeggiServer(PGconn* c, const QByteArray& sql, bool intero) {
    qint64 righe = 0, byte = 0;
    auto leggi = [&](PGresult* r) {
        for (int i = 0; i < PQntuples(r); ++i, ++righe)
            for (int k = 0; k < PQnfields(r); ++k) {
                benchmark::DoNotOptimize(PQgetvalue(r, i, k));
                byte += PQgetlength(r, i, k);
            }
        PQclear(r);
    };
    if (intero) {
        leggi(PQexec(c, sql.constData()));
    } else {
        PQsendQuery(c, sql.constData());
        PQsetSingleRowMode(c);
        while (PGresult* r = PQgetResult(c)) leggi(r);
    }
    benchmark::DoNotOptimize(byte);
    return righe;
}

}  // namespace

double LetturaCruda(Ditta& d, bool server, const QString& sql, bool ritocchi, qint64* righe) {
    const QByteArray nativo = d.db().Nativo(sql).toUtf8();
    const auto inizio = std::chrono::steady_clock::now();
    if (server) {
        static PGconn* c = [] {
            const QByteArray opzioni = ("-c search_path=" + kSchema).toUtf8();
            const QByteArray dsn = Server().toUtf8();
            const char* chiavi[] = {"dbname", "options", "client_encoding", nullptr};
            const char* valori[] = {dsn.constData(), opzioni.constData(), "UTF8", nullptr};
            return PQconnectdbParams(chiavi, valori, 1);
        }();
        *righe = LeggiServer(c, nativo, ritocchi);
    } else {
        static sqlite3* connessioni[2] = {};
        sqlite3*& c = connessioni[ritocchi];
        if (!c) {
            sqlite3_open_v2(QFile::encodeName(d.db().Percorso()).constData(), &c,
                            SQLITE_OPEN_READONLY | (ritocchi ? SQLITE_OPEN_NOMUTEX : 0), nullptr);
            if (ritocchi)
                sqlite3_exec(c, "PRAGMA mmap_size=2147418112; PRAGMA temp_store=MEMORY", nullptr,
                             nullptr, nullptr);
        }
        *righe = LeggiFile(c, nativo);
    }
    return Millisecondi(inizio);
}
