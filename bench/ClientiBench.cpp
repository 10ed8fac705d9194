// Client-table operations on a company of 1,000,000 clients.

#include "DittaGrande.h"
#include "Setup.h"
#include "data/Clienti.h"
#include "engine/Motore.h"
#include "ui/Global.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <functional>

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
    Ditta* d = DittaDi(state);
    if (!d) return;
    qint64 i = 0;
    const qint64 prima = d->g.EnvironmentSettings.Workspace->Viaggi();
    for (auto _ : state) {
        LeggiCliente(d->g, qint32(Codice(i++)));
        benchmark::DoNotOptimize(d->g.ClientRecord.CliCodice);
    }
    ContaViaggi(state, *d, prima);
}

void BM_ProssimoCodice(benchmark::State& state) {
    Ditta* d = DittaDi(state);
    if (!d) return;
    auto& t = *d->g.ClientsTable;
    const qint64 prima = d->g.EnvironmentSettings.Workspace->Viaggi();
    for (auto _ : state) {
        t.Seek("<=", {2147483646});
        benchmark::DoNotOptimize(t.Field("CliCodice"));
    }
    ContaViaggi(state, *d, prima);
}

template <bool kPerPartitaIva, bool kIntervallo>
void BM_Simili(benchmark::State& state) {
    Ditta* d = DittaDi(state);
    if (!d) return;
    qint64 i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const setup::Cliente c = ConChiave(i, kPerPartitaIva);
        QString chiave = (kPerPartitaIva ? c.partitaIva : c.codiceFiscale).trimmed();
        const QString colonna = kPerPartitaIva ? "CliPartitaIva" : "CliCodiceFiscale";
        if (kIntervallo) chiave = chiave.left(kPerPartitaIva ? 7 : 9);
        // An 11-digit number is looked for as VAT number or fiscal code.
        const QString sql = ElencoSimili(
            kIntervallo ? colonna + " BETWEEN '" + chiave + " ' AND '" + chiave + "zzz'"
            : kPerPartitaIva
                ? "(CliPartitaIva = '" + chiave + "' OR CliCodiceFiscale = '" + chiave + "')"
                : colonna + " = '" + chiave + "'",
            colonna);
        state.ResumeTiming();
        benchmark::DoNotOptimize(LeggiTutto(d->db(), sql));
    }
}

void BM_Omonimi(benchmark::State& state) {
    Ditta* d = DittaDi(state);
    if (!d) return;
    qint64 i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QString nome = setup::ClienteEsempio(Codice(i++)).ragsoc;
        nome.replace("'", "''");
        const QString sql = Omonimi(nome);
        state.ResumeTiming();
        benchmark::DoNotOptimize(LeggiTutto(d->db(), sql));
    }
}

// CONFERMA as the client form makes it: a client read and written back as it was (the
// company stays as generated), or a new client under the next code, deleted untimed.
// `prepara` (untimed) fills the record and the mode; `dopo` (untimed) undoes the save.
void Conferma(
    benchmark::State& state,
    const std::function<void(Ditta&, ClientRecord&, ClientRecord&, ModoSalvataggio&)>& prepara,
    const std::function<void(Ditta&, const EsitoSalvataggio&)>& dopo) {
    Ditta* d = DittaDi(state);
    if (!d) return;
    motore::Workspace& ws = *d->g.EnvironmentSettings.Workspace;
    qint64 viaggi = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ClientRecord letto, r;
        ModoSalvataggio modo;
        prepara(*d, letto, r, modo);
        const qint64 prima = ws.Viaggi();
        state.ResumeTiming();
        const EsitoSalvataggio esito = SalvaCliente(d->g, r, modo);
        state.PauseTiming();
        viaggi += ws.Viaggi() - prima;
        if (!esito.Scritto()) state.SkipWithError(qPrintable(esito.causa.Spiegazione()));
        if (dopo) dopo(*d, esito);
        state.ResumeTiming();
    }
    state.counters["viaggi"] = state.iterations() ? double(viaggi) / double(state.iterations()) : 0;
}

void BM_ConfermaVariazione(benchmark::State& state) {
    qint64 i = 0;
    Conferma(state,
             [&](Ditta& d, ClientRecord& letto, ClientRecord& r, ModoSalvataggio& modo) {
                 LeggiCliente(d.g, qint32(Codice(i++)));
                 letto = r = d.g.ClientRecord;
                 modo.letto = &letto;
             },
             {});
}

void BM_ConfermaInserimento(benchmark::State& state) {
    Conferma(
        state,
        [&](Ditta& d, ClientRecord&, ClientRecord& r, ModoSalvataggio& modo) {
            r.CliRagsoc = QStringLiteral("NUOVO CLIENTE");
            if (CodiceLibero(d.g, r.CliCodice)) state.SkipWithError("no free code");
            modo.codiceAutomatico = true;
        },
        [](Ditta& d, const EsitoSalvataggio& esito) {
            EliminaCliente(d.g, esito.codice, nullptr);
        });
}

BENCHMARK(BM_LeggiCliente)->Apply(SuEntrambi);
BENCHMARK(BM_ConfermaVariazione)->Apply(SuEntrambi);
BENCHMARK(BM_ConfermaInserimento)->Apply(SuEntrambi);
BENCHMARK(BM_ProssimoCodice)->Apply(SuEntrambi);
BENCHMARK(BM_Simili<true, false>)->Name("BM_PartitaIvaUguale")->Apply(SuEntrambi);
BENCHMARK(BM_Simili<true, true>)->Name("BM_PartitaIvaIntervallo")->Apply(SuEntrambi);
BENCHMARK(BM_Simili<false, false>)->Name("BM_CodiceFiscaleUguale")->Apply(SuEntrambi);
BENCHMARK(BM_Simili<false, true>)->Name("BM_CodiceFiscaleIntervallo")->Apply(SuEntrambi);
BENCHMARK(BM_Omonimi)->Apply(SuEntrambi);

void Piani(bool server) {
    Ditta* d = LaDitta(server);
    if (!d) return;
    std::fprintf(stderr, "\n=== plans on the %s ===\n", server ? "server" : "file");
    // The seeks as the table recordset sends them.
    if (server) {
        MostraPianoNativo(d->db(), true, "LeggiCliente (seek =)",
                          "SELECT ctid, clicodice, * FROM \"clienti\" WHERE clicodice = $1 "
                          "ORDER BY clicodice NULLS LAST LIMIT 1",
                          {QString("4242")});
        MostraPianoNativo(d->db(), true, "next free code (seek <=)",
                          "SELECT ctid, clicodice, * FROM \"clienti\" WHERE clicodice <= $1 "
                          "ORDER BY clicodice DESC NULLS FIRST LIMIT 1",
                          {QString("2147483646")});
    } else {
        MostraPianoNativo(d->db(), false, "LeggiCliente (seek =)",
                          "SELECT rowid, * FROM \"Clienti\" WHERE \"CliCodice\" = ?1 ORDER BY "
                          "\"CliCodice\", rowid LIMIT 1");
        MostraPianoNativo(d->db(), false, "next free code (seek <=)",
                          "SELECT rowid, * FROM \"Clienti\" WHERE \"CliCodice\" <= ?1 ORDER BY "
                          "\"CliCodice\" DESC, rowid DESC LIMIT 1");
    }
    MostraPiano(d->db(), "VAT equality",
                ElencoSimili("(CliPartitaIva = '01234560017' OR CliCodiceFiscale = "
                             "'01234560017')",
                             "CliPartitaIva"));
    MostraPiano(d->db(), "VAT range",
                ElencoSimili("CliPartitaIva BETWEEN '0123456 ' AND '0123456zzz'", "CliPartitaIva"));
    MostraPiano(d->db(), "fiscal-code equality, in lower case",
                ElencoSimili("CliCodiceFiscale = 'rssmra85t10a562s'", "CliCodiceFiscale"));
    MostraPiano(
        d->db(), "fiscal-code range",
        ElencoSimili("CliCodiceFiscale BETWEEN 'RSSMRA85 ' AND 'RSSMRA85zzz'", "CliCodiceFiscale"));
    MostraPiano(d->db(), "homonyms", Omonimi("ROSSI SPA"));
    PianiDellaRicerca(server);
}

}  // namespace

int main(int argc, char** argv) {
    // The lookup benchmark builds a real dialog; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Piani(false);
    Piani(true);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
