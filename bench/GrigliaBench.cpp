// Filling the result grid as the search form does: emptied, then one line per client added
// with painting suspended, then painted once. The counters give the resident memory with
// the grid full and its growth over the empty grid.

#include "DittaGrande.h"
#include "search/Griglia.h"

#include <benchmark/benchmark.h>

#include <QStringList>

#include <array>
#include <vector>

namespace {

// A thousand different client lines of ten cells, about 150 characters each; the grid
// copies them, so reusing them keeps the source text out of the memory figure.
const QStringList& Righe() {
    static const QStringList righe = [] {
        QStringList r;
        for (int i = 0; i < 1000; ++i)
            r << QStringList{QString::number(100000 + i),
                             QString("ROSSI MARIO & FIGLI S.N.C. DI ROSSI %1").arg(i),
                             QString("VIA GIUSEPPE GARIBALDI %1").arg(i % 200),
                             "20100",
                             "MILANO",
                             "MI",
                             QString("02/%1").arg(5550000 + i),
                             QString("0123456%1").arg(i, 4, 10, QChar('0')),
                             QString("RSSMRA80A01F%1X").arg(i, 3, 10, QChar('0')),
                             "CLIENTE DAL 1998 ZONA 3"}
                     .join('\t');
        return r;
    }();
    return righe;
}

void Riempi(benchmark::State& state, bool sospeso) {
    const int n = int(state.range(0));
    const QStringList& righe = Righe();
    Griglia g;
    g.SetCols(10);
    for (int c = 0; c < 10; ++c) g.SetTextMatrix(0, c, QString("Colonna %1").arg(c));
    g.resize(800, 400);
    g.show();
    SvuotaGriglia(g);
    const double vuota = Memoria("VmRSS");
    double piena = vuota;
    for (auto _ : state) {
        SvuotaGriglia(g);
        if (sospeso) g.SetRedraw(false);
        for (int i = 0; i < n; ++i) g.AddItem(righe[i % righe.size()]);
        if (sospeso) g.SetRedraw(true);
        g.repaint();
        state.PauseTiming();
        piena = Memoria("VmRSS");
        state.ResumeTiming();
    }
    state.counters["righe"] = g.Rows();
    state.counters["rss_MB"] = piena;
    state.counters["crescita_MB"] = piena - vuota;
    state.counters["picco_MB"] = Memoria("VmHWM");
    state.counters["caratteri"] = righe[0].size();
}

void BM_GrigliaRiempi(benchmark::State& state) {
    Riempi(state, true);
}
BENCHMARK(BM_GrigliaRiempi)
    ->Arg(1'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The same with painting left on: every line reaches the view on its own.
void BM_GrigliaRiempiVisibile(benchmark::State& state) {
    Riempi(state, false);
}
BENCHMARK(BM_GrigliaRiempiVisibile)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// A search's way in: each line from its cells as the engine gives them, padded to their
// widths, with painting suspended.
void BM_GrigliaCelle(benchmark::State& state) {
    const int n = int(state.range(0));
    const auto campo = [](const QString& s, int larghezza) {
        return s.leftJustified(larghezza, ' ').toUtf8();
    };
    std::vector<std::array<QByteArray, 10>> righe;
    for (int i = 0; i < 1000; ++i)
        righe.push_back({QByteArray::number(100000 + i),
                         campo(QString("ROSSI MARIO %1").arg(i), 35), campo("VIA GARIBALDI 5", 35),
                         campo("20121", 9), campo("MILANO", 35), campo("MI", 3), campo("IT", 3),
                         campo("02/5550000", 14), campo("01234567890", 12),
                         campo("RSSMRA80A01F205X", 16)});
    Griglia g;
    g.SetCols(10);
    g.resize(800, 400);
    g.show();
    std::array<QByteArrayView, 10> celle;
    for (auto _ : state) {
        g.SetRedraw(false);
        SvuotaGriglia(g);
        for (int i = 0; i < n; ++i) {
            const auto& riga = righe[size_t(i) % righe.size()];
            std::copy(riga.begin(), riga.end(), celle.begin());
            g.AddItemCelle(celle);
        }
        g.SetRedraw(true);
    }
    state.counters["righe"] = g.Rows();
}
BENCHMARK(BM_GrigliaCelle)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
