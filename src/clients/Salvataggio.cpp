// What the client form's buttons do: save, delete, abandon. The data layer writes and says
// what happened; this decides what the operator is told and where the focus goes.

#include "app/CasellaTesto.h"
#include "app/Valori.h"
#include "clients/GesCliC.h"
#include "data/Clienti.h"
#include "data/RegoleCliente.h"
#include "ui/Global.h"

#include <QPushButton>

void GesCliC::TrasferisciCampi() {
    ClientRecord& r = g_.ClientRecord;
    auto testo = [this](int i) { return Txt(i)->text(); };
    r.CliCodice = InteroDa(testo(kCodice));
    r.CliCodiceFiscale = testo(kCodiceFiscale);
    r.CliNazione = testo(kNazione);
    r.CliPartitaIva = testo(kPartitaIva);
    r.CliRagsoc = testo(kRagsoc);
    r.CliRagsocEstesa = testo(kRagsocEstesa);
    r.CliIndirizzo = testo(kIndirizzo);
    r.CliCap = testo(kCap);
    r.CliLocalita = testo(kLocalita);
    r.CliProvincia = testo(kProvincia);
    r.CliTelefono = testo(kTelefono);
    r.CliContabile = testo(kContabile);
    r.CliCategoria = testo(kCategoria);
    r.CliAcronimo = testo(kAcronimo);
    r.CliEsenzioneNum = testo(kEsenzioneNum);
    // Empty boxes, or an impossible date such as 31/02, store no date.
    r.CliEsenzioneDat =
        GiornoEsenzione(testo(kEsenzioneGiorno), testo(kEsenzioneMese), testo(kEsenzioneAnno))
            .value_or(0);
    CompletaCliente(r);
}

void GesCliC::ErroreScrittura(const Causa& causa) {
    g_.MessageTitle =
        QStringLiteral("Errore in scrittura: operazione impossibile\n") + causa.descrizione;
    g_.MsgBox(g_.MessageTitle, Pulsanti::OK, Icona::Critica,
              QStringLiteral("NORVAL - ERRORE N. ") + QString::number(causa.numero));
    PortaAlCampo(kRagsoc);
}

void GesCliC::PortaAlCampo(int campo) {
    g_.DialogoAperto = false;
    Txt(campo)->setFocus(Qt::OtherFocusReason);
}

void GesCliC::Salva() {
    // After a deletion the form is empty and there is nothing to write.
    if (ModoMaschera == kVuota || ModoMaschera == kCancellato) return;
    // A refusal as leaving the field would give: its message, the focus back on it.
    auto Rifiuta = [this](int campo) {
        g_.FieldErrorNumber = std::int16_t(campo);
        MostraErrore();
        g_.FieldErrorNumber = Global::kNessunErrore;
        PortaAlCampo(campo);
    };
    // The name is checked when its field is left, but a save can come before that (an
    // access key on a fresh form): no client is ever stored without a name.
    if (Txt(kRagsoc)->text().trimmed().isEmpty()) {
        Rifiuta(kRagsoc);
        return;
    }
    // A new client's nation box never left (clicked past) is Italy, as leaving it would
    // have made it; the VAT number then answers to the Italian rule it was spared.
    if (ModoMaschera == kInserimento && Txt(kNazione)->text().trimmed().isEmpty()) {
        ScriviCampo(kNazione, NazioneCliente(QString(), {}));
        if (DifettoPartitaIva(Txt(kPartitaIva)->text().trimmed(), Txt(kNazione)->text(),
                              g_.EnvironmentSettings.ControlloCifre) != Difetto::Nessuno) {
            Rifiuta(kPartitaIva);
            return;
        }
    }
    TrasferisciCampi();
    ClientRecord& r = g_.ClientRecord;
    const std::int32_t codiceSulModulo = r.CliCodice;
    ModoSalvataggio modo;
    modo.letto = ModoMaschera == kVariazione ? &letto_ : nullptr;
    modo.codiceAutomatico = codiceAutomatico_;
    modo.ripetuto = esitoIgnoto_;
    const EsitoSalvataggio esito = SalvaSeNonCambiato(
        [&](bool sovrascrivi) {
            modo.sovrascrivi = sovrascrivi;
            return SalvaCliente(g_, r, modo);
        },
        [&] {
            return g_.MsgBox(QStringLiteral("CLIENTE MODIFICATO DA UN ALTRO UTENTE: SOVRASCRIVO ?"),
                             Pulsanti::SiNo, Icona::Domanda, QString(), 1) == Risposta::Si;
        });
    switch (esito.tipo) {
        case EsitoSalvataggio::Salvato:
        case EsitoSalvataggio::SalvatoAltroCodice:
            break;
        case EsitoSalvataggio::CambiatoDaAltri:
            RileggiCliente(codiceSulModulo);
            return;
        case EsitoSalvataggio::CancellatoDaAltri:
            CancellatoDaAltri();
            return;
        case EsitoSalvataggio::CodiciEsauriti:
            CodiciEsauriti();
            PortaAlCampo(kRagsoc);
            return;
        case EsitoSalvataggio::Bloccato:
        case EsitoSalvataggio::Fallito:
            esitoIgnoto_ = esitoIgnoto_ || esito.causa.ignoto;
            ErroreScrittura(esito.causa);
            return;
    }
    if (StartClientCode > 0) {
        close();
        return;
    }
    ModoMaschera = kVuota;
    AzzeraMaschera();
    PortaAlCampo(kCodice);
    // The code on the paper form must be the stored one.
    if (esito.codice != codiceSulModulo)
        g_.MsgBox(QStringLiteral("IL CODICE %1 E' STATO OCCUPATO DA UN ALTRO UTENTE:\n"
                                 "IL CLIENTE E' STATO INSERITO CON IL CODICE %2")
                      .arg(codiceSulModulo)
                      .arg(esito.codice),
                  Pulsanti::OK, Icona::Informazione, QStringLiteral("NORVAL - INSERIMENTO"));
}

void GesCliC::Elimina() {
    const std::int32_t codice = g_.ClientRecord.CliCodice;
    g_.MessageTitle =
        QStringLiteral("CONFERMI LA CANCELLAZIONE DEL CLIENTE ") + QString::number(codice);
    if (g_.MsgBox(g_.MessageTitle, Pulsanti::SiNo, Icona::Domanda,
                  QStringLiteral("NORVAL - CANCELLAZIONE")) == Risposta::No)
        return;
    const EsitoSalvataggio esito = EliminaCliente(g_, codice, &letto_);
    if (esito.tipo == EsitoSalvataggio::CancellatoDaAltri) {
        CancellatoDaAltri();
        return;
    }
    // Not what the operator saw and agreed to delete: said, and shown as it is now.
    if (esito.tipo == EsitoSalvataggio::CambiatoDaAltri) {
        g_.MsgBox(QStringLiteral("CLIENTE MODIFICATO DA UN ALTRO UTENTE"), Pulsanti::OK,
                  Icona::Esclamazione, QStringLiteral("NORVAL - CANCELLAZIONE"));
        RileggiCliente(codice);
        return;
    }
    if (!esito.Scritto()) {
        ErroreScrittura(esito.causa);
        return;
    }
    ModoMaschera = kCancellato;
    if (StartClientCode > 0) {
        close();
        return;
    }
    AzzeraMaschera();
    PortaAlCampo(kCodice);
}

void GesCliC::RileggiCliente(std::int32_t codice) {
    if (const Guasto guasto = LeggiCliente(g_, codice)) {
        g_.MsgBox(QStringLiteral("ERRORE NELLA TABELLA CLIENTI\n") + guasto->Spiegazione());
        return;
    }
    if (g_.ClientRecord.CliCodice == 0) {
        CancellatoDaAltri();
        return;
    }
    RiempiMaschera();
    PortaAlCampo(kCodiceFiscale);
}

void GesCliC::CancellatoDaAltri() {
    g_.MsgBox(QStringLiteral("CLIENTE CANCELLATO DA UN ALTRO UTENTE"));
    ModoMaschera = kVuota;
    AzzeraMaschera();
    PortaAlCampo(kCodice);
}

void GesCliC::CodiciEsauriti() {
    g_.MsgBox(QStringLiteral("NESSUN CODICE LIBERO PER UN NUOVO CLIENTE"), Pulsanti::OK,
              Icona::Critica, QStringLiteral("NORVAL - INSERIMENTO"));
}

void GesCliC::Annulla() {
    ModoMaschera = kVuota;
    AzzeraMaschera();
    PortaAlCampo(kCodice);
}
