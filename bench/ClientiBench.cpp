// Client-table operations on a company of 1,000,000 clients.

#include "DittaGrande.h"
#include "Setup.h"
#include "engine/Dialetto.h"
#include "engine/Motore.h"
#include "data/Clienti.h"
#include "ui/Global.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

// The queries exactly as the forms build them.
QString ElencoSimili(const QString& condizione, const QString& colonna) {
    return "SELECT CliCodice, CliRagSoc, CliIndirizzo, CliLocalita, CliProvincia, CliPartitaIva, "
           "CliCodiceFiscale FROM Clienti WHERE " +
           condizione + " ORDER BY " + colonna;
}

QString Omonimi(const QString& nome) {
    return "SELECT CliCodice, CliRagSoc FROM Clienti WHERE (CliRagSoc = '" + nome + "')";
}

int LeggiTutto(motore::Database& db, const QString& sql) {
    int n = 0;
    for (auto rs = db.OpenSnapshot(sql); !rs->Eof(); rs->MoveNext()) {
        benchmark::DoNotOptimize(rs->Field("CliCodice"));
        ++n;
    }
    return n;
}

qint64 Codice(qint64 i) {
    return 1 + (i * 7919) % kClienti;
}

// The next sample client, from i on, that has a value in the listed column: a blank key
// would list every client without one, which no form ever asks for.
setup::Cliente ConChiave(qint64& i, bool perPartitaIva) {
    for (;;) {
        setup::Cliente c = setup::ClienteEsempio(Codice(i++));
        if (!(perPartitaIva ? c.partitaIva : c.codiceFiscale).trimmed().isEmpty()) return c;
    }
}

void BM_LeggiCliente(benchmark::State& state) {
    auto& d = LaDitta();
    qint64 i = 0;
    for (auto _ : state) {
        LeggiCliente(d.g, qint32(Codice(i++)));
        benchmark::DoNotOptimize(d.g.ClientRecord.CliCodice);
    }
}

void BM_ProssimoCodice(benchmark::State& state) {
    auto& t = *LaDitta().g.ClientsTable;
    for (auto _ : state) {
        t.Seek("<=", {2147483646});
        benchmark::DoNotOptimize(t.Field("CliCodice"));
    }
}

template <bool kPerPartitaIva, bool kIntervallo>
void BM_Simili(benchmark::State& state) {
    auto& d = LaDitta();
    qint64 i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const setup::Cliente c = ConChiave(i, kPerPartitaIva);
        QString chiave = (kPerPartitaIva ? c.partitaIva : c.codiceFiscale).trimmed();
        const QString colonna = kPerPartitaIva ? "CliPartitaIva" : "CliCodiceFiscale";
        if (kIntervallo) chiave = chiave.left(kPerPartitaIva ? 7 : 9);
        const QString sql = ElencoSimili(
            kIntervallo ? colonna + " BETWEEN '" + chiave + " ' AND '" + chiave + "zzz'"
                        : colonna + " = '" + chiave + "'",
            colonna);
        state.ResumeTiming();
        benchmark::DoNotOptimize(LeggiTutto(d.db(), sql));
    }
}

void BM_Omonimi(benchmark::State& state) {
    auto& d = LaDitta();
    qint64 i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QString nome = setup::ClienteEsempio(Codice(i++)).ragsoc;
        nome.replace("'", "''");
        const QString sql = Omonimi(nome);
        state.ResumeTiming();
        benchmark::DoNotOptimize(LeggiTutto(d.db(), sql));
    }
}

BENCHMARK(BM_LeggiCliente);
BENCHMARK(BM_ProssimoCodice);
BENCHMARK(BM_Simili<true, false>)->Name("BM_PartitaIvaUguale");
BENCHMARK(BM_Simili<true, true>)->Name("BM_PartitaIvaIntervallo");
BENCHMARK(BM_Simili<false, false>)->Name("BM_CodiceFiscaleUguale");
BENCHMARK(BM_Simili<false, true>)->Name("BM_CodiceFiscaleIntervallo");
BENCHMARK(BM_Omonimi);

}  // namespace

int main(int argc, char** argv) {
    // The lookup benchmark builds a real dialog; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    auto& d = LaDitta();
    // The seeks as the table recordset sends them.
    MostraPiano(d.db(), "LeggiCliente (seek =)",
                "SELECT rowid, * FROM \"Clienti\" WHERE \"CliCodice\" = ?1 ORDER BY "
                "\"CliCodice\", rowid LIMIT 1",
                true);
    MostraPiano(d.db(), "next free code (seek <=)",
                "SELECT rowid, * FROM \"Clienti\" WHERE \"CliCodice\" <= ?1 ORDER BY "
                "\"CliCodice\" DESC, rowid DESC LIMIT 1",
                true);
    MostraPiano(d.db(), "VAT equality",
                ElencoSimili("CliPartitaIva = '01234567890'", "CliPartitaIva"));
    MostraPiano(d.db(), "VAT range",
                ElencoSimili("CliPartitaIva BETWEEN '0123456 ' AND '0123456zzz'", "CliPartitaIva"));
    MostraPiano(d.db(), "fiscal-code equality",
                ElencoSimili("CliCodiceFiscale = 'RSSMRA85T10A562S'", "CliCodiceFiscale"));
    MostraPiano(
        d.db(), "fiscal-code range",
        ElencoSimili("CliCodiceFiscale BETWEEN 'RSSMRA85 ' AND 'RSSMRA85zzz'", "CliCodiceFiscale"));
    MostraPiano(d.db(), "homonyms", Omonimi("ROSSI SPA"));
    PianiDellaRicerca();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
