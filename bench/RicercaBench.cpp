// The search form on the company of 1,000,000 clients: a search until the grid is full, the
// first screen of a search with no criteria, and a heading click that sorts again.

#include "DittaGrande.h"
#include "app/CasellaTesto.h"
#include "app/Profilo.h"
#include "engine/Motore.h"
#include "search/ChkCliC.h"
#include "search/Esporta.h"
#include "search/Griglia.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <vector>

namespace {

// One search form for every benchmark on each engine, as one operator keeps it open.
ChkCliC& Ricerca(Ditta& d) {
    static std::map<Ditta*, ChkCliC*> forme;
    ChkCliC*& r = forme[&d];
    if (!r) {
        r = new ChkCliC(d.g);
        r->Carica();
        r->show();
    }
    return *r;
}

void Criteri(ChkCliC& r, std::map<int, QString> valori) {
    for (int i = 1; i <= 7; ++i) r.Btxt(i)->setText(valori.count(i) ? valori[i] : QString());
    r.ColonnaOrdine = 0;
    r.VersoOrdine = 1;
}

void Conta(benchmark::State& state, ChkCliC& r, Ditta& d, qint64 prima) {
    ContaViaggi(state, d, prima);
    state.counters["righe"] = r.GridRic->Rows() - 1;
    state.counters["rss_MB"] = Memoria("VmRSS");
    state.counters["picco_MB"] = Memoria("VmHWM");
}

double Mediana(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Search to the last row in the grid, or, as the operator waits for it, to the first
// screen (the rest is read later). A full read is followed, untimed, by the raw read of the
// same rows (see LetturaCruda), both of them, so that the ratio to the engine is in the
// same run under the same load.
void Cerca(benchmark::State& state, std::map<int, QString> valori, bool tutta = true) {
    Ditta* d = DittaDi(state);
    if (!d) return;
    const bool server = state.range(0) != 0;
    ChkCliC& r = Ricerca(*d);
    Criteri(r, valori);
    const QString sql = r.TestoRicerca();
    const qint64 prima = d->g.EnvironmentSettings.Workspace->Viaggi();
    std::vector<double> programma, crudo, crudo2, programmaCpu, crudoCpu;
    qint64 righe = 0;
    double rss = 0, anonima = 0;
    // For a profile of the program alone.
    static const bool senzaCrudo = qEnvironmentVariableIsSet("RICERCA_SENZA_CRUDO");
    for (auto _ : state) {
        const auto inizio = std::chrono::steady_clock::now();
        const std::clock_t cpu = std::clock();
        r.EseguiRicerca();
        if (tutta)
            r.CompletaRicerca();
        else
            r.GridRic->repaint();
        if (!tutta) continue;
        state.PauseTiming();
        // The memory of the first read, before any raw read adds its own.
        if (programma.empty()) {
            rss = Memoria("VmRSS");
            anonima = Memoria("RssAnon");
        }
        programma.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inizio)
                .count());
        programmaCpu.push_back(1000.0 * double(std::clock() - cpu) / CLOCKS_PER_SEC);
        const std::clock_t cpuCrudo = std::clock();
        if (senzaCrudo) {
            state.ResumeTiming();
            continue;
        }
        crudo.push_back(LetturaCruda(*d, server, sql, false, &righe));
        crudoCpu.push_back(1000.0 * double(std::clock() - cpuCrudo) / CLOCKS_PER_SEC);
        crudo2.push_back(LetturaCruda(*d, server, sql, true, &righe));
        state.ResumeTiming();
    }
    Conta(state, r, *d, prima);
    if (!tutta) return;
    state.counters["rss_MB"] = rss;
    state.counters["anon_MB"] = anonima;
    state.counters["ms"] = Mediana(programma);
    state.counters["crudo_ms"] = Mediana(crudo);
    state.counters["crudo2_ms"] = Mediana(crudo2);
    state.counters["x_crudo"] = Mediana(programma) / Mediana(crudo);
    state.counters["x_crudo2"] = Mediana(programma) / Mediana(crudo2);
    // Processor time of this process: on a file the whole of each read, whatever else the
    // machine does; on the server only the client's share.
    state.counters["cpu_ms"] = Mediana(programmaCpu);
    state.counters["crudo_cpu_ms"] = Mediana(crudoCpu);
    state.counters["righe_crude"] = double(righe);
    if (senzaCrudo || Mediana(programma) > 100) return;
    // The same reads again, each kind back to back: interleaved, each read also pays for
    // what the other left in the caches, and the program, whose footprint is larger, pays
    // more.
    std::vector<double> diFila, crudoDiFila;
    for (int i = 0; i < 11; ++i) {
        const auto inizio = std::chrono::steady_clock::now();
        r.EseguiRicerca();
        r.CompletaRicerca();
        diFila.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inizio)
                .count());
    }
    for (int i = 0; i < 11; ++i)
        crudoDiFila.push_back(LetturaCruda(*d, server, sql, false, &righe));
    state.counters["di_fila_ms"] = Mediana(diFila);
    state.counters["crudo_di_fila_ms"] = Mediana(crudoDiFila);
    state.counters["x_di_fila"] = Mediana(diFila) / Mediana(crudoDiFila);
}

// The name ROSSI: 7,914 clients.
void BM_RicercaRossiPrimaSchermata(benchmark::State& state) {
    Cerca(state, {{3, "ROSSI"}}, false);
}
BENCHMARK(BM_RicercaRossiPrimaSchermata)->Unit(benchmark::kMillisecond)->Apply(SuEntrambi);

// CAP 2012: 1,039 clients, all of them in the index range.
void BM_RicercaMilleRighe(benchmark::State& state) {
    Cerca(state, {{4, "2012"}});
}
BENCHMARK(BM_RicercaMilleRighe)->Unit(benchmark::kMillisecond)->Apply(SuEntrambi);

// Name ROSSI and CAP 8: 1,115 clients, found among the 7,914 ROSSI of the name range.
void BM_RicercaDueCriteri(benchmark::State& state) {
    Cerca(state, {{3, "ROSSI"}, {4, "8"}});
}
BENCHMARK(BM_RicercaDueCriteri)->Unit(benchmark::kMillisecond)->Apply(SuEntrambi);

// CAP 0: about 111,000 clients.
void BM_RicercaCentomilaRighe(benchmark::State& state) {
    Cerca(state, {{4, "0"}});
}
BENCHMARK(BM_RicercaCentomilaRighe)->Unit(benchmark::kMillisecond)->Apply(SuEntrambi);

// No criteria.
void BM_RicercaTuttiPrimaSchermata(benchmark::State& state) {
    Cerca(state, {}, false);
}
BENCHMARK(BM_RicercaTuttiPrimaSchermata)->Unit(benchmark::kMillisecond)->Apply(SuEntrambi);

// ... and all of it, to see the memory of a full grid of a million clients.
void BM_RicercaTuttiCompleta(benchmark::State& state) {
    Cerca(state, {});
}
BENCHMARK(BM_RicercaTuttiCompleta)->Unit(benchmark::kMillisecond)->Iterations(3)->Apply(SuEntrambi);

// A left then a right click on " CAP" over the 111,000 clients of CAP 0: on the whole result
// read, unchanged since, which the grid sorts itself; untimed, the same click on a search
// stopped at its first screen, which runs the query again to the last row (what every click
// did before); then the raw read of that order.
void BM_IntestazioneCentomilaRighe(benchmark::State& state) {
    Ditta* d = DittaDi(state);
    if (!d) return;
    ChkCliC& r = Ricerca(*d);
    const qint64 prima = d->g.EnvironmentSettings.Workspace->Viaggi();
    Criteri(r, {{4, "0"}});
    r.EseguiRicerca();
    r.CompletaRicerca();
    Griglia& gr = *r.GridRic;
    const int y = gr.RowPos(gr.TopRow()) / 2;
    int pulsante = 2;
    auto Clic = [&] {
        pulsante = pulsante == 1 ? 2 : 1;
        const auto inizio = std::chrono::steady_clock::now();
        gr.MouseDown(pulsante, 0, gr.ColPos(3) + 30, y);
        r.CompletaRicerca();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inizio)
            .count();
    };
    std::vector<double> programma, riletta, crudo;
    qint64 righe = 0;
    int query = 0;
    for (auto _ : state) {
        const int ricerche = r.Ricerche();
        programma.push_back(Clic());
        query += r.Ricerche() - ricerche;
        state.PauseTiming();
        r.EseguiRicerca();
        riletta.push_back(Clic());
        crudo.push_back(LetturaCruda(*d, state.range(0) != 0, r.TestoRicerca(), false, &righe));
        state.ResumeTiming();
    }
    Conta(state, r, *d, prima);
    state.counters["ms"] = Mediana(programma);
    state.counters["query_nei_clic"] = query;
    state.counters["riletta_ms"] = Mediana(riletta);
    state.counters["crudo_ms"] = Mediana(crudo);
    state.counters["x_crudo"] = Mediana(programma) / Mediana(crudo);
}
BENCHMARK(BM_IntestazioneCentomilaRighe)->Unit(benchmark::kMillisecond)->Apply(SuEntrambi);

// The 111,000 clients of CAP 0 written to the CSV file and handed to a spreadsheet that
// does nothing.
void BM_EsportaCentomilaRighe(benchmark::State& state) {
    Ditta* d = LaDitta();
    ChkCliC& r = Ricerca(*d);
    Criteri(r, {{4, "0"}});
    r.EseguiRicerca();
    r.CompletaRicerca();
    auto& g = d->g;
    g.EnvironmentSettings.TempDirectory = QDir::currentPath() + "/bench-data/";
    ScriviIni(g.EnvironmentSettings.EnvironmentFile, "APPLICATIVI", "Excel", "/bin/true");
    for (auto _ : state) EsportaGriglia(g, *r.GridRic, r.Name());
    state.counters["byte"] =
        double(QFileInfo(g.EnvironmentSettings.TempDirectory + "_ChkCliC.csv").size());
    Conta(state, r, *d, 0);
}
BENCHMARK(BM_EsportaCentomilaRighe)->Unit(benchmark::kMillisecond);

}  // namespace

void PianiDellaRicerca(bool server) {
    Ditta* d = LaDitta(server);
    ChkCliC& r = Ricerca(*d);
    auto& db = d->db();
    for (const auto& [nome, valori] : std::map<const char*, std::map<int, QString>>{
             {"search: name ROSSI", {{3, "ROSSI"}}},
             {"search: VAT 0123", {{1, "0123"}}},
             {"search: CAP 001", {{4, "001"}}},
             {"search: CAP 20121", {{4, "20121"}}},
             {"search: fiscal code in lower case", {{2, "rssmra85t10a562s"}}},
             {"search: nation in lower case, name ROSSI", {{3, "ROSSI"}, {6, "ita"}}},
             {"search: ROSSI, CAP 8", {{3, "ROSSI"}, {4, "8"}}},
             {"search: CAP 2012", {{4, "2012"}}},
             {"search: CAP 0", {{4, "0"}}},
             {"search: no criteria", {}}}) {
        Criteri(r, valori);
        MostraPiano(db, nome, r.TestoRicerca());
    }
    Criteri(r, {{4, "0"}});
    r.ColonnaOrdine = 3;
    MostraPiano(db, "search: CAP 0 sorted by CAP", r.TestoRicerca());
}
