// The search form on the company of 1,000,000 clients: a search until the grid is full, the
// first screen of a search with no criteria, and a heading click that sorts again.

#include "DittaGrande.h"
#include "app/CasellaTesto.h"
#include "engine/Motore.h"
#include "app/Profilo.h"
#include "search/ChkCliC.h"
#include "search/Esporta.h"
#include "search/Griglia.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>

#include <map>

namespace {

// One search form for every benchmark, as one operator keeps it open.
ChkCliC& Ricerca() {
    static ChkCliC* r = [] {
        auto* f = new ChkCliC(LaDitta().g);
        f->Carica();
        f->show();
        return f;
    }();
    return *r;
}

void Criteri(ChkCliC& r, std::map<int, QString> valori) {
    for (int i = 1; i <= 7; ++i) r.Btxt(i)->setText(valori.count(i) ? valori[i] : QString());
    r.ColonnaOrdine = 0;
    r.VersoOrdine = 1;
}

void Conta(benchmark::State& state, ChkCliC& r) {
    state.counters["righe"] = r.GridRic->Rows() - 1;
    state.counters["rss_MB"] = Memoria("VmRSS");
    state.counters["picco_MB"] = Memoria("VmHWM");
}

// Search to the last row in the grid.
void Cerca(benchmark::State& state, std::map<int, QString> valori) {
    ChkCliC& r = Ricerca();
    Criteri(r, valori);
    for (auto _ : state) {
        r.EseguiRicerca();
        r.CompletaRicerca();
    }
    Conta(state, r);
}

// CAP 2012: 1,039 clients, all of them in the index range.
void BM_RicercaMilleRighe(benchmark::State& state) {
    Cerca(state, {{4, "2012"}});
}
BENCHMARK(BM_RicercaMilleRighe)->Unit(benchmark::kMillisecond);

// Name ROSSI and CAP 8: 1,115 clients, found among the 7,914 ROSSI of the name range.
void BM_RicercaDueCriteri(benchmark::State& state) {
    Cerca(state, {{3, "ROSSI"}, {4, "8"}});
}
BENCHMARK(BM_RicercaDueCriteri)->Unit(benchmark::kMillisecond);

// CAP 0: about 111,000 clients.
void BM_RicercaCentomilaRighe(benchmark::State& state) {
    Cerca(state, {{4, "0"}});
}
BENCHMARK(BM_RicercaCentomilaRighe)->Unit(benchmark::kMillisecond);

// No criteria: what the operator waits for is the first screen; the rest is read later.
void BM_RicercaTuttiPrimaSchermata(benchmark::State& state) {
    ChkCliC& r = Ricerca();
    Criteri(r, {});
    for (auto _ : state) {
        r.EseguiRicerca();
        r.GridRic->repaint();
    }
    Conta(state, r);
}
BENCHMARK(BM_RicercaTuttiPrimaSchermata)->Unit(benchmark::kMillisecond);

// ... and all of it, to see the memory of a full grid of a million clients.
void BM_RicercaTuttiCompleta(benchmark::State& state) {
    ChkCliC& r = Ricerca();
    Criteri(r, {});
    for (auto _ : state) {
        r.EseguiRicerca();
        r.CompletaRicerca();
    }
    Conta(state, r);
}
BENCHMARK(BM_RicercaTuttiCompleta)->Unit(benchmark::kMillisecond)->Iterations(3);

// A left then a right click on " CAP" over the 111,000 clients of CAP 0, each run to the
// last row.
void BM_IntestazioneCentomilaRighe(benchmark::State& state) {
    ChkCliC& r = Ricerca();
    Criteri(r, {{4, "0"}});
    r.EseguiRicerca();
    Griglia& gr = *r.GridRic;
    const int y = gr.RowPos(gr.TopRow()) / 2;
    int pulsante = 2;
    for (auto _ : state) {
        pulsante = pulsante == 1 ? 2 : 1;
        gr.MouseDown(pulsante, 0, gr.ColPos(3) + 30, y);
        r.CompletaRicerca();
    }
    Conta(state, r);
}
BENCHMARK(BM_IntestazioneCentomilaRighe)->Unit(benchmark::kMillisecond);

// The 111,000 clients of CAP 0 written to the CSV file and handed to a spreadsheet that
// does nothing.
void BM_EsportaCentomilaRighe(benchmark::State& state) {
    ChkCliC& r = Ricerca();
    Criteri(r, {{4, "0"}});
    r.EseguiRicerca();
    r.CompletaRicerca();
    auto& g = LaDitta().g;
    g.EnvironmentSettings.TempDirectory = QDir::currentPath() + "/bench-data/";
    ScriviIni(g.EnvironmentSettings.EnvironmentFile, "APPLICATIVI", "Excel", "/bin/true");
    for (auto _ : state) EsportaGriglia(g, *r.GridRic, r.Name());
    state.counters["byte"] =
        double(QFileInfo(g.EnvironmentSettings.TempDirectory + "_ChkCliC.csv").size());
    Conta(state, r);
}
BENCHMARK(BM_EsportaCentomilaRighe)->Unit(benchmark::kMillisecond);

}  // namespace

void PianiDellaRicerca() {
    ChkCliC& r = Ricerca();
    auto& db = LaDitta().db();
    for (const auto& [nome, valori] : std::map<const char*, std::map<int, QString>>{
             {"search: name ROSSI", {{3, "ROSSI"}}},
             {"search: VAT 0123", {{1, "0123"}}},
             {"search: CAP 001", {{4, "001"}}},
             {"search: CAP 20121", {{4, "20121"}}},
             {"search: fiscal code in lower case", {{2, "rssmra85t10a562s"}}},
             {"search: nation in lower case, name ROSSI", {{3, "ROSSI"}, {6, "ita"}}},
             {"search: ROSSI, CAP 8", {{3, "ROSSI"}, {4, "8"}}},
             {"search: no criteria", {}}}) {
        Criteri(r, valori);
        MostraPiano(db, nome, r.TestoRicerca());
    }
    Criteri(r, {{4, "0"}});
    r.ColonnaOrdine = 3;
    MostraPiano(db, "search: CAP 0 sorted by CAP", r.TestoRicerca());
}
