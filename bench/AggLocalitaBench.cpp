// The localities form on the shipped table (8,570 rows) and on one of 100,000: leaving the
// locality box (the seek, the row shown, the province read) and one page step.

#include "Setup.h"
#include "app/CasellaTesto.h"
#include "engine/Motore.h"
#include "localities/AggLocalita.h"
#include "ui/Global.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

struct Localita {
    QTemporaryDir dir;
    Global g;
    explicit Localita(int righe) {
        const QString percorso = dir.filePath("tabkes.mdb");
        setup::CreaTabelle(percorso);
        auto& env = g.EnvironmentSettings;
        env.Workspace = std::make_unique<motore::Workspace>();
        env.CodeTablesDatabase = env.Workspace->OpenDatabase(percorso);
        auto& db = *env.CodeTablesDatabase;
        const int spedite = int(setup::DatiLocalita().size());
        env.Workspace->BeginTrans();
        for (int i = spedite; i < righe; ++i)
            db.Esegui("INSERT INTO LOCALITA VALUES (?1, ?2, 'RM', NULL, 'LAZ')",
                      {QString("LOCALITA %1").arg(i, 6, 10, QChar('0')),
                       QString("%1").arg(i % 100000, 5, 10, QChar('0'))});
        env.Workspace->CommitTrans();
    }
};

// The form shown and active, so that focus changes run its handlers.
bool Attivo(AggLocalita& f) {
    f.Carica();
    f.show();
    f.activateWindow();
    for (int i = 0; i < 100 && QApplication::activeWindow() != &f; ++i)
        QApplication::processEvents();
    QApplication::processEvents();
    return QApplication::activeWindow() == &f;
}

void BM_LasciaLocalita(benchmark::State& state) {
    Localita t(int(state.range(0)));
    AggLocalita f(t.g);
    if (!Attivo(f)) {
        state.SkipWithError("the form did not become active");
        return;
    }
    QStringList nomi;
    const auto& spedite = setup::DatiLocalita();
    for (size_t i = 0; i < spedite.size(); i += 97) nomi << spedite[i].nome;
    qsizetype n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.Cmdv(3)->click();
        f.Cod1->setText(nomi[n++ % nomi.size()]);
        QApplication::processEvents();
        state.ResumeTiming();
        f.Combo1->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
    }
    if (!f.Cmdv(2)->isVisible()) state.SkipWithError("the locality was not shown");
    f.Scarica();
}
BENCHMARK(BM_LasciaLocalita)->Arg(8570)->Arg(100'000)->Unit(benchmark::kMicrosecond);

void BM_PaginaLocalita(benchmark::State& state) {
    Localita t(int(state.range(0)));
    AggLocalita f(t.g);
    f.Carica();
    bool avanti = true;
    for (auto _ : state) {
        f.Muoviti(avanti ? 0 : 1)->click();
        avanti = !avanti;
    }
    f.Scarica();
}
BENCHMARK(BM_PaginaLocalita)->Arg(8570)->Arg(100'000)->Unit(benchmark::kMicrosecond);

}  // namespace
