// What the client form's buttons write: save, delete, abandon.

#include "app/CasellaTesto.h"
#include "clients/GesCliC.h"
#include "data/Clienti.h"
#include "data/RegoleCliente.h"
#include "engine/Motore.h"
#include "ui/Global.h"
#include "ui/Valori.h"

#include <QPushButton>

#include <functional>

void GesCliC::TrasferisciCampi() {
    ClientRecord& r = g_.ClientRecord;
    auto testo = [this](int i) { return Txt(i)->text(); };
    r.CliCodice = InteroDa(testo(0));
    r.CliCodiceFiscale = testo(1);
    r.CliNazione = testo(2);
    r.CliPartitaIva = testo(3);
    r.CliRagsoc = testo(4);
    r.CliRagsocEstesa = testo(5);
    r.CliIndirizzo = testo(6);
    r.CliCap = testo(7);
    r.CliLocalita = testo(8);
    r.CliProvincia = testo(9);
    r.CliTelefono = testo(10);
    r.CliContabile = testo(11);
    r.CliCategoria = testo(12);
    r.CliAcronimo = testo(13);
    r.CliEsenzioneNum = testo(14);
    // Empty boxes, or an impossible date such as 31/02, store no date.
    r.CliEsenzioneDat = GiornoEsenzione(testo(15), testo(16), testo(17)).value_or(0);
    CompletaCliente(r);
}

void GesCliC::ErroreScrittura(const motore::Errore& e) {
    g_.MessageTitle =
        QStringLiteral("Errore in scrittura: operazione impossibile\n") + e.Descrizione();
    g_.MsgBox(g_.MessageTitle, Pulsanti::OK, Icona::Critica,
              QStringLiteral("NORVAL - ERRORE N. ") + QString::number(e.Numero()));
    Txt(4)->setFocus(Qt::OtherFocusReason);
}

bool GesCliC::ScriviInTransazione(const std::function<void(motore::Recordset&)>& scrittura) {
    motore::Workspace& ws = *g_.EnvironmentSettings.Workspace;
    ws.BeginTrans();
    try {
        if (!g_.ClientsTable)
            throw motore::Errore(motore::ErrGenerico, QStringLiteral("Tabella clienti chiusa."));
        motore::Recordset& t = *g_.ClientsTable;
        // The row is found again inside the transaction: as stored now, not as read.
        t.SetIndex(QStringLiteral("primaria"));
        scrittura(t);
        ws.CommitTrans();
        return true;
    } catch (const motore::Errore& e) {
        ws.Rollback();
        if (g_.ClientsTable) g_.ClientsTable->CancelUpdate();
        ErroreScrittura(e);
        return false;
    }
}

void GesCliC::Salva() {
    // After a deletion the form is empty and there is nothing to write.
    if (ModoMaschera == 0 || ModoMaschera == 3) return;
    // A refusal as leaving the field would give: its message, the focus back on it.
    auto Rifiuta = [this](int campo) {
        g_.FieldErrorNumber = std::int16_t(campo);
        MostraErrore();
        g_.FieldErrorNumber = 0;
        g_.DialogoAperto = false;
        Txt(campo)->setFocus(Qt::OtherFocusReason);
    };
    // The name is checked when its field is left, but a save can come before that (an
    // access key on a fresh form): no client is ever stored without a name.
    if (Txt(4)->text().trimmed().isEmpty()) {
        Rifiuta(4);
        return;
    }
    // A new client's nation box never left (clicked past) is Italy, as leaving it would
    // have made it; the VAT number then answers to the Italian rule it was spared.
    if (ModoMaschera == 1 && Txt(2)->text().trimmed().isEmpty()) {
        ScriviCampo(2, NazioneCliente(QString(), {}));
        if (DifettoPartitaIva(Txt(3)->text().trimmed(), Txt(2)->text(),
                              g_.EnvironmentSettings.ControlloCifre) != Difetto::Nessuno) {
            Rifiuta(3);
            return;
        }
    }
    TrasferisciCampi();
    ClientRecord& r = g_.ClientRecord;
    const std::int32_t codiceSulModulo = r.CliCodice;
    // Nothing waits for the operator inside the transaction: what another program did is
    // found there, and asked about after it has ended.
    enum class Esito { Scritto, Cambiato, Cancellato, Esaurito } esito = Esito::Scritto;
    bool sovrascrivi = false;
    for (;;) {
        esito = Esito::Scritto;
        const bool scritto = ScriviInTransazione([&](motore::Recordset& t) {
            t.Seek(QStringLiteral("="), {r.CliCodice});
            if (ModoMaschera == 2) {
                if (t.NoMatch()) {
                    esito = Esito::Cancellato;  // a change never brings a client back
                    return;
                }
                ClientRecord ora;
                RigaCliente(t, ora);
                if (!sovrascrivi && !(ora == letto_)) {
                    esito = Esito::Cambiato;
                    return;
                }
                t.Edit();
            } else {
                if (!t.NoMatch()) {
                    // Another client is stored under this code since it was taken.
                    if (!codiceAutomatico_)
                        throw motore::Errore(
                            motore::ErrChiaveDuplicata,
                            QStringLiteral(
                                "Il codice %1 è stato appena inserito da un altro utente.")
                                .arg(r.CliCodice));
                    r.CliCodice = CodiceNuovo(t);
                    if (r.CliCodice == 0) {
                        esito = Esito::Esaurito;
                        return;
                    }
                }
                // A new client is always a new row: it never takes the place of a stored one.
                t.AddNew();
                t.SetField(QStringLiteral("CliCodice"), r.CliCodice);
            }
            ScriviCliente(t, r);
            t.Update();
        });
        if (!scritto) return;
        if (esito != Esito::Cambiato) break;
        if (g_.MsgBox(QStringLiteral("CLIENTE MODIFICATO DA UN ALTRO UTENTE: SOVRASCRIVO ?"),
                      Pulsanti::SiNo, Icona::Domanda, QString(), 1) == Risposta::Si) {
            sovrascrivi = true;
            continue;
        }
        // The client as stored now takes the place of what was typed, in change mode.
        if (!LeggiCliente(g_, codiceSulModulo)) return;
        if (r.CliCodice == 0) {
            CancellatoDaAltri();
            return;
        }
        RiempiMaschera();
        g_.DialogoAperto = false;
        Txt(1)->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (esito == Esito::Cancellato) {
        CancellatoDaAltri();
        return;
    }
    if (esito == Esito::Esaurito) {
        r.CliCodice = codiceSulModulo;
        CodiciEsauriti();
        Txt(4)->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (StartClientCode > 0) {
        close();
        return;
    }
    const std::int32_t memorizzato = r.CliCodice;
    ModoMaschera = 0;
    AzzeraMaschera();
    Txt(0)->setFocus(Qt::OtherFocusReason);
    // The code on the paper form must be the stored one.
    if (memorizzato != codiceSulModulo)
        g_.MsgBox(QStringLiteral("IL CODICE %1 E' STATO OCCUPATO DA UN ALTRO UTENTE:\n"
                                 "IL CLIENTE E' STATO INSERITO CON IL CODICE %2")
                      .arg(codiceSulModulo)
                      .arg(memorizzato),
                  Pulsanti::OK, Icona::Informazione, QStringLiteral("NORVAL - INSERIMENTO"));
}

void GesCliC::Elimina() {
    const std::int32_t codice = g_.ClientRecord.CliCodice;
    g_.MessageTitle =
        QStringLiteral("CONFERMI LA CANCELLAZIONE DEL CLIENTE ") + QString::number(codice);
    if (g_.MsgBox(g_.MessageTitle, Pulsanti::SiNo, Icona::Domanda,
                  QStringLiteral("NORVAL - CANCELLAZIONE")) == Risposta::No)
        return;
    bool cancellatoDaAltri = false;
    const bool scritto = ScriviInTransazione([&](motore::Recordset& t) {
        t.Seek(QStringLiteral("="), {codice});
        if (t.NoMatch())
            cancellatoDaAltri = true;
        else
            t.Delete();
    });
    if (!scritto) return;
    if (cancellatoDaAltri) {
        CancellatoDaAltri();
        return;
    }
    ModoMaschera = 3;
    if (StartClientCode > 0) {
        close();
        return;
    }
    AzzeraMaschera();
    Txt(0)->setFocus(Qt::OtherFocusReason);
}

void GesCliC::CancellatoDaAltri() {
    g_.MsgBox(QStringLiteral("CLIENTE CANCELLATO DA UN ALTRO UTENTE"));
    ModoMaschera = 0;
    AzzeraMaschera();
    Txt(0)->setFocus(Qt::OtherFocusReason);
}

void GesCliC::CodiciEsauriti() {
    g_.MsgBox(QStringLiteral("NESSUN CODICE LIBERO PER UN NUOVO CLIENTE"), Pulsanti::OK,
              Icona::Critica, QStringLiteral("NORVAL - INSERIMENTO"));
}

void GesCliC::Annulla() {
    ModoMaschera = 0;
    AzzeraMaschera();
    Txt(0)->setFocus(Qt::OtherFocusReason);
}
