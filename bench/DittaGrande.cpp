#include "DittaGrande.h"

#include "Setup.h"
#include "data/Clienti.h"
#include "engine/Motore.h"
#include "support/ProxyGuasto.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

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
