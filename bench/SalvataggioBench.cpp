// One operator's save while another operator's search of the 1,000,000 clients is still
// streaming its rows: two programs of their own on the company, each save timed alone with
// the search's read open and partly read.

#include "DittaGrande.h"
#include "data/ClientRecord.h"
#include "data/Clienti.h"
#include "engine/Motore.h"
#include "search/ChkCliC.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <vector>

namespace {

// What the client form's save does for a client in change mode, writing the row back as it
// was read, so that the company stays as generated.
void Salva(Global& g, qint32 codice) {
    motore::Workspace& ws = *g.EnvironmentSettings.Workspace;
    motore::Recordset& t = *g.ClientsTable;
    ws.BeginTrans();
    try {
        t.SetIndex(QStringLiteral("primaria"));
        t.Seek(QStringLiteral("="), {codice});
        ClientRecord r;
        RigaCliente(t, r);
        t.Edit();
        ScriviCliente(t, r);
        t.Update();
        ws.CommitTrans();
    } catch (...) {
        ws.Rollback();
        throw;
    }
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    const auto i = std::min(v.size() - 1, size_t(p * double(v.size())));
    std::nth_element(v.begin(), v.begin() + qsizetype(i), v.end());
    return v[i];
}

void BM_SalvataggioDuranteLaRicerca(benchmark::State& state) {
    const bool server = state.range(0) != 0;
    if (server && !ServerDisponibile()) {
        state.SkipWithError("ANAGRAFICA_PG_BENCH names no server");
        return;
    }
    LaDitta(server);  // the company, made on the first run
    Ditta lettore(server), scrittore(server);
    // A save that had to wait would show in its time rather than as an error.
    scrittore.g.EnvironmentSettings.Workspace->ImpostaAttesaBlocco(30000);
    ChkCliC ricerca(lettore.g);
    ricerca.Carica();
    std::vector<double> ms;
    qint64 i = 0;
    int ricerche = 0;
    auto Aperta = [&] {
        if (ricerca.RicercaInCorso()) return;
        ricerca.EseguiRicerca();  // no criteria: every client
        ++ricerche;
    };
    for (auto _ : state) {
        Aperta();
        // The search reads on between events for a while, as while the operator looks.
        QElapsedTimer lettura;
        lettura.start();
        while (lettura.elapsed() < 20) QApplication::processEvents();
        Aperta();
        QElapsedTimer tempo;
        tempo.start();
        try {
            Salva(scrittore.g, qint32(1 + (i++ * 7919) % kClienti));
        } catch (const motore::Errore& e) {
            state.SkipWithError(qPrintable(e.Spiegazione()));
            break;
        }
        const double durata = double(tempo.nsecsElapsed()) / 1e6;
        if (!ricerca.RicercaInCorso()) {
            state.SkipWithError("the search ended before the save: nothing was measured");
            break;
        }
        ms.push_back(durata);
        state.SetIterationTime(durata / 1000);
    }
    state.counters["mediana_ms"] = Percentile(ms, 0.5);
    state.counters["p90_ms"] = Percentile(ms, 0.9);
    state.counters["massimo_ms"] = Percentile(ms, 1);
    state.counters["ricerche"] = ricerche;
}
BENCHMARK(BM_SalvataggioDuranteLaRicerca)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200)
    ->Apply(SuEntrambi);

}  // namespace
