// Transactions and the conflict rule shared by every table the program writes.

#include "data/Esito.h"

#include "engine/Motore.h"

Causa CausaDi(const motore::Errore& e) {
    return Causa{e.Numero(), e.Descrizione(), e.EsitoIgnoto()};
}

EsitoSalvataggio EsitoDi(const motore::Errore& e) {
    EsitoSalvataggio esito;
    esito.tipo =
        e.Numero() == motore::ErrBloccato ? EsitoSalvataggio::Bloccato : EsitoSalvataggio::Fallito;
    esito.causa = CausaDi(e);
    return esito;
}

EsitoSalvataggio InTransazione(motore::Workspace& ws,
                               const std::function<EsitoSalvataggio()>& scrittura,
                               const std::function<void()>& annulla) {
    try {
        ws.BeginTrans();
        EsitoSalvataggio esito = scrittura();
        if (esito.Scritto())
            ws.CommitTrans();
        else
            ws.Rollback();
        return esito;
    } catch (const motore::Errore& e) {
        if (ws.InTransazione()) {
            try {
                ws.Rollback();
            } catch (const motore::Errore&) {
                // The connection that failed is gone, and its transaction with it.
            }
        }
        if (annulla) annulla();
        return EsitoDi(e);
    }
}

EsitoSalvataggio SalvaSeNonCambiato(const std::function<EsitoSalvataggio(bool sovrascrivi)>& salva,
                                    const std::function<bool()>& sovrascrivere) {
    EsitoSalvataggio esito = salva(false);
    // Overwriting compares nothing, so a second round is the last one.
    if (esito.tipo == EsitoSalvataggio::CambiatoDaAltri && sovrascrivere()) esito = salva(true);
    return esito;
}
