// One refresh of the code-table lookup list (range query plus refill), as each keystroke
// in a search box does, on a code table of 10,000 rows.

#include "app/CasellaTesto.h"
#include "engine/Motore.h"
#include "lookup/GesTab.h"
#include "ui/Global.h"

#include <benchmark/benchmark.h>

#include <QListWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kRighe = 10'000;

struct Tabelle {
    QTemporaryDir dir;
    Global g;
    Tabelle() {
        auto& env = g.EnvironmentSettings;
        env.Workspace = std::make_unique<motore::Workspace>();
        const QString percorso = dir.filePath("tabkes.mdb");
        env.CodeTablesDatabase = env.Workspace->CreaDatabase(percorso);
        auto& db = *env.CodeTablesDatabase;
        db.Esegui(
            "CREATE TABLE GRANDE (CODICE VARCHAR(6) COLLATE RTRIM NOT NULL, "
            "Descrizione VARCHAR(40) COLLATE RTRIM)");
        db.Esegui(R"(CREATE UNIQUE INDEX "GRANDE.primaria" ON GRANDE(CODICE))");
        // The case-blind index the setup tool gives every code table the dialog searches.
        db.Esegui(R"(CREATE INDEX "GRANDE.RicercaCodice" ON GRANDE(CODICE COLLATE NOCASE))");
        env.Workspace->BeginTrans();
        for (int i = 0; i < kRighe; ++i)
            db.Esegui("INSERT INTO GRANDE VALUES (?1, ?2)",
                      {QString("C%1").arg(i, 4, 10, QChar('0')),
                       QString("DESCRIZIONE DELLA RIGA %1").arg(i)});
        env.Workspace->CommitTrans();
    }
    void Piano(const QString& sql) {
        std::fprintf(stderr, "lookup: %s\n", qPrintable(sql));
        for (const QString& passo : g.EnvironmentSettings.CodeTablesDatabase->Piano(sql))
            std::fprintf(stderr, "  -> %s\n", qPrintable(passo));
    }
};

void Aggiorna(benchmark::State& state, const QString& a, const QString& b, bool tutto) {
    Tabelle t;
    t.Piano("Select CODICE, DESCRIZIONE from GRANDE where CODICE BETWEEN '" + a.toLower() +
            "' and '" + a.toLower() + "zzz'");
    GesTab d(t.g, "GRANDE");
    d.Carica();
    int righe = 0;
    bool pari = false;
    for (auto _ : state) {
        if (tutto) t.g.Messaggi.Copione({Risposta::Si});
        d.CodTab->setText((pari = !pari) ? a : b);
        righe = d.Lista->count();
    }
    state.counters["righe"] = righe;
    d.Scarica();
}

// A typed prefix: 1,000 of the rows.
void BM_GesTabPrefisso(benchmark::State& state) {
    Aggiorna(state, "C1", "C2", false);
}
BENCHMARK(BM_GesTabPrefisso)->Unit(benchmark::kMillisecond);

// An empty box with "extract everything" answered Yes: all 10,000 rows.
void BM_GesTabTutto(benchmark::State& state) {
    Aggiorna(state, "", "C", true);
}
BENCHMARK(BM_GesTabTutto)->Unit(benchmark::kMillisecond);

}  // namespace
