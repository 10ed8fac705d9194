#pragma once

// What a read or a write of the data layer did, as a value: the forms decide what to say
// and which box to show, the import what to report. The data layer itself never asks the
// operator anything.

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace motore {
class Errore;
class Workspace;
}  // namespace motore

// Why a read or a write failed, as the engine said it.
struct Causa {
    int numero = 0;
    QString descrizione;
    // The write may have been stored all the same: the server was lost with its COMMIT.
    bool ignoto = false;
    // Number and description on one line, for messages that name the cause.
    QString Spiegazione() const {
        return QStringLiteral("Errore n. %1: %2").arg(numero).arg(descrizione);
    }
};
Causa CausaDi(const motore::Errore& e);

// A read that could fail: nothing when it went well.
using Guasto = std::optional<Causa>;

struct EsitoSalvataggio {
    enum Tipo {
        Salvato,
        SalvatoAltroCodice,  // a new client's code was taken meanwhile: stored under `codice`
        CambiatoDaAltri,     // the row is not as it was read: nothing stored
        CancellatoDaAltri,   // the row read for a change is gone: a change never brings it back
        CodiciEsauriti,      // no free code for a new client
        Bloccato,            // another program held the database longer than the wait
        Fallito,             // anything else the engine refused; see `causa`
    } tipo = Salvato;
    std::int32_t codice = 0;  // the code stored, for a client
    Causa causa;              // Bloccato and Fallito

    bool Scritto() const { return tipo == Salvato || tipo == SalvatoAltroCodice; }
};

// What a write the engine refused did: Bloccato or Fallito, with the engine's cause.
EsitoSalvataggio EsitoDi(const motore::Errore& e);

// Runs `scrittura` in a transaction of `ws`: committed when it returns, rolled back whole when
// the engine throws (then `annulla` drops a pending row), the engine's error as Bloccato or
// Fallito. Nothing waits for the operator in it.
EsitoSalvataggio InTransazione(motore::Workspace& ws,
                               const std::function<EsitoSalvataggio()>& scrittura,
                               const std::function<void()>& annulla = {});

// The one answer to a row changed by another program since it was read: `salva(false)` saves
// unless the row changed; then `sovrascrivere()` (the caller asks the operator, after the
// transaction has ended) decides whether `salva(true)` stores it over the other's change.
// Returns what the last save did: CambiatoDaAltri when the operator kept the other's.
EsitoSalvataggio SalvaSeNonCambiato(const std::function<EsitoSalvataggio(bool sovrascrivi)>& salva,
                                    const std::function<bool()>& sovrascrivere);
