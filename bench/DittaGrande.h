#pragma once

// The company every benchmark on the client table shares: 1,000,000 sample clients,
// generated once and reused by later runs: as a file in the build folder (about 15 s), and,
// when ANAGRAFICA_PG_BENCH names a server (a libpq connection string; a local server over
// its Unix socket), as the schema ditta_bench there (about a minute). The same benchmarks
// run on both, argument 0 the file and 1 the server.

#include "ui/Global.h"

#include <benchmark/benchmark.h>

#include <QString>

namespace motore {
class Database;
}

constexpr qint64 kClienti = 1'000'000;

struct Ditta {
    Global g;
    explicit Ditta(bool server);
    motore::Database& db();
};

// The company on the file (false) or on the server (true); null when there is no server.
Ditta* LaDitta(bool server = false);
// The company of a benchmark's argument, or the benchmark skipped when there is none.
Ditta* DittaDi(benchmark::State& state);
bool ServerDisponibile();
// Registers a benchmark on both: argument 0 the file, 1 the server.
inline void SuEntrambi(benchmark::internal::Benchmark* b) {
    b->ArgName("server")->Arg(0)->Arg(1);
}

// Prints the engine's plan for a query in the forms' dialect.
void MostraPiano(motore::Database& db, const char* nome, const QString& sql);
// ... or for a native one with its parameters.
void MostraPianoNativo(motore::Database& db, bool server, const char* nome, const QString& sql,
                       const QVariantList& parametri = {});
// Requests to the server per iteration, as a counter.
void ContaViaggi(benchmark::State& state, Ditta& d, qint64 prima);

// A memory figure of the process in MB from the kernel's count: "VmRSS" resident now,
// "VmHWM" the peak so far.
double Memoria(const char* voce);

// The same rows as a query in the forms' dialect read straight through the engine's C API,
// every column as text, on a connection of its own: the floor a program's read is measured
// against. `ritocchi` gives the file's connection the program's own reading settings; on
// the server it reads the whole result at once instead of one row at a time. Milliseconds;
// the rows read in `righe`.
double LetturaCruda(Ditta& d, bool server, const QString& sql, bool ritocchi, qint64* righe);

// The plans of the search form's prefix criteria.
void PianiDellaRicerca(bool server);
