#pragma once

// The company every benchmark on the client table shares: 1,000,000 sample clients,
// generated once into the build folder (about 15 s) and reused by later runs.

#include "ui/Global.h"

#include <QString>

namespace motore {
class Database;
}

constexpr qint64 kClienti = 1'000'000;

struct Ditta {
    Global g;
    Ditta();
    motore::Database& db();
};

Ditta& LaDitta();

// Prints the engine's plan for a query, in the forms' dialect unless it is already native.
void MostraPiano(motore::Database& db, const char* nome, const QString& sql, bool nativo = false);

// A memory figure of the process in MB from the kernel's count: "VmRSS" resident now,
// "VmHWM" the peak so far.
double Memoria(const char* voce);

// The plans of the search form's prefix criteria.
void PianiDellaRicerca();
