#include "data/Clienti.h"

#include "ui/Global.h"
#include "ui/Valori.h"

#include <functional>
#include <limits>
#include <utility>

namespace {

template <int N>
void DaColonna(FixedText<N>& campo, const QVariant& v) {
    campo = TestoDaNull(v, QStringLiteral(" "));
}

}  // namespace

void ApriClienti(Global& g) {
    for (;;) {
        g.ClientsTableOpen = true;
        try {
            if (!g.EnvironmentSettings.CompanyDatabase)
                throw motore::Errore(motore::ErrGenerico,
                                     QStringLiteral("Il database della ditta non è aperto."));
            g.ClientsTable =
                g.EnvironmentSettings.CompanyDatabase->OpenTable(QStringLiteral("Clienti"));
        } catch (const motore::Errore& e) {
            g.ClientsTableOpen = false;
            g.ClientsTable.reset();
            g.MessageTitle = QStringLiteral("ERRORE IN APERTURA ARCHIVIO CLIENTI");
            if (g.MsgBox(e.Descrizione(), Pulsanti::RiprovaAnnulla, Icona::Esclamazione,
                         g.MessageTitle) == Risposta::Riprova)
                continue;
            return;
        }
        try {
            g.ClientsTable->SetIndex(QStringLiteral("primaria"));
        } catch (const motore::Errore&) {
            // Without its index the table still opens; every seek will then report it.
        }
        return;
    }
}

void ChiudiClienti(Global& g) {
    if (g.ClientsTableOpen && g.ClientsTable) g.ClientsTable->Close();
    g.ClientsTable.reset();
    g.ClientsTableOpen = false;
}

void PulisciCliente(Global& g) {
    g.ClientRecord = ClientRecord();
}

void RigaCliente(const motore::Recordset& t, ClientRecord& r) {
    const std::pair<const char*, std::function<void(const QVariant&)>> colonne[] = {
        {"CliCodice", [&](const QVariant& v) { r.CliCodice = InteroDa(v); }},
        {"CliRagsoc", [&](const QVariant& v) { DaColonna(r.CliRagsoc, v); }},
        {"CliRagsocEstesa", [&](const QVariant& v) { DaColonna(r.CliRagsocEstesa, v); }},
        {"CliIndirizzo", [&](const QVariant& v) { DaColonna(r.CliIndirizzo, v); }},
        {"CliLocalita", [&](const QVariant& v) { DaColonna(r.CliLocalita, v); }},
        {"CliCap", [&](const QVariant& v) { DaColonna(r.CliCap, v); }},
        {"CliProvincia", [&](const QVariant& v) { DaColonna(r.CliProvincia, v); }},
        {"CliNazione", [&](const QVariant& v) { DaColonna(r.CliNazione, v); }},
        {"CliTelefono", [&](const QVariant& v) { DaColonna(r.CliTelefono, v); }},
        {"CliPartitaIva", [&](const QVariant& v) { DaColonna(r.CliPartitaIva, v); }},
        {"CliCodiceFiscale", [&](const QVariant& v) { DaColonna(r.CliCodiceFiscale, v); }},
        {"CliCategoria", [&](const QVariant& v) { DaColonna(r.CliCategoria, v); }},
        {"CliContabile", [&](const QVariant& v) { DaColonna(r.CliContabile, v); }},
        {"CliAcronimo", [&](const QVariant& v) { DaColonna(r.CliAcronimo, v); }},
        {"CliEsenzioneNum", [&](const QVariant& v) { DaColonna(r.CliEsenzioneNum, v); }},
        {"CliEsenzioneDat", [&](const QVariant& v) { r.CliEsenzioneDat = InteroDa(v); }},
    };
    for (const auto& [nome, assegna] : colonne) assegna(t.Field(QLatin1String(nome)));
}

bool LeggiCliente(Global& g, std::int32_t codice) {
    if (!g.ClientsTableOpen) ApriClienti(g);
    ClientRecord& r = g.ClientRecord;
    try {
        if (!g.ClientsTable)
            throw motore::Errore(motore::ErrGenerico, QStringLiteral("Tabella clienti chiusa."));
        motore::Recordset& t = *g.ClientsTable;
        t.SetIndex(QStringLiteral("primaria"));
        t.Seek(QStringLiteral("="), {codice});
        if (t.NoMatch()) {
            PulisciCliente(g);
            return true;
        }
        RigaCliente(t, r);
        return true;
    } catch (const motore::Errore& e) {
        // Half a client must never reach the form, where a save would store it.
        PulisciCliente(g);
        g.MsgBox(QStringLiteral("ERRORE NELLA TABELLA CLIENTI\n") + e.Spiegazione());
        return false;
    }
}

void ScriviCliente(motore::Recordset& t, const ClientRecord& r) {
    t.SetField(QStringLiteral("CliRagsoc"), r.CliRagsoc.trimmed());
    const std::pair<const char*, const QString&> colonne[] = {
        {"CliRagsocEstesa", r.CliRagsocEstesa}, {"CliIndirizzo", r.CliIndirizzo},
        {"CliLocalita", r.CliLocalita},         {"CliCap", r.CliCap},
        {"CliProvincia", r.CliProvincia},       {"CliNazione", r.CliNazione},
        {"CliPartitaIva", r.CliPartitaIva},     {"CliCodiceFiscale", r.CliCodiceFiscale},
        {"CliTelefono", r.CliTelefono},         {"CliCategoria", r.CliCategoria},
        {"CliContabile", r.CliContabile},       {"CliAcronimo", r.CliAcronimo},
        {"CliEsenzioneNum", r.CliEsenzioneNum},
    };
    for (const auto& [nome, valore] : colonne) t.SetField(QLatin1String(nome), valore);
    t.SetField(QStringLiteral("CliEsenzioneDat"), r.CliEsenzioneDat);
}

std::int32_t CodiceMassimo(motore::Recordset& clienti) {
    clienti.SetIndex(QStringLiteral("primaria"));
    clienti.Seek(QStringLiteral("<="), {2147483646});
    if (clienti.NoMatch()) return 0;
    return InteroDa(clienti.Field(QStringLiteral("CliCodice")));
}

std::int32_t CodiceNuovo(motore::Recordset& clienti) {
    const std::int32_t nuovo = CodiceMassimo(clienti) + 1;
    // Below the top no code above the highest is stored; the top one itself may be.
    if (nuovo == std::numeric_limits<std::int32_t>::max()) {
        clienti.Seek(QStringLiteral("="), {nuovo});
        if (!clienti.NoMatch()) return 0;
    }
    return nuovo;
}
