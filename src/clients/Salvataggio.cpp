// What the client form's buttons write: save, delete, abandon.

#include "app/CasellaTesto.h"
#include "engine/Motore.h"
#include "clients/GesCliC.h"
#include "data/Clienti.h"
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
    // A foreign client's only identifier, typed in the first box, is its VAT number; it
    // moves only when it fits, so nothing typed is ever lost. Italy (or no nation, which
    // the nation box turns into Italy) keeps what was typed.
    const QString nazione = r.CliNazione.trimmed();
    if (!nazione.isEmpty() && nazione != QLatin1String("IT") && !r.CliCodiceFiscale.blank() &&
        r.CliPartitaIva.blank() && r.CliCodiceFiscale.trimmed().size() <= 12) {
        r.CliPartitaIva = r.CliCodiceFiscale.trimmed();
        r.CliCodiceFiscale = QString();
    }
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
    if (r.CliAcronimo.blank()) r.CliAcronimo = testo(4).left(20);
    r.CliEsenzioneNum = testo(14);
    qint64 giorno = 0;
    r.CliEsenzioneDat = 0;
    if (DataValida(testo(15) + '/' + testo(16) + '/' + testo(17), &giorno))
        r.CliEsenzioneDat = std::int32_t(giorno);
}

void GesCliC::ScriviCliente(motore::Recordset& t) {
    const ClientRecord& r = g_.ClientRecord;
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
    // The name is checked when its field is left, but a save can come before that (an
    // access key on a fresh form): no client is ever stored without a name.
    if (Txt(4)->text().trimmed().isEmpty()) {
        g_.FieldErrorNumber = 4;
        MostraErrore();
        g_.FieldErrorNumber = 0;
        g_.DialogoAperto = false;
        Txt(4)->setFocus(Qt::OtherFocusReason);
        return;
    }
    TrasferisciCampi();
    ClientRecord& r = g_.ClientRecord;
    const std::int32_t codiceSulModulo = r.CliCodice;
    const bool scritto = ScriviInTransazione([&](motore::Recordset& t) {
        t.Seek(QStringLiteral("="), {r.CliCodice});
        if (!t.NoMatch() && ModoMaschera == 1) {
            // Another program stored a client under this code since it was taken.
            if (!codiceAutomatico_)
                throw motore::Errore(motore::ErrChiaveDuplicata,
                                     QStringLiteral("Il codice %1 è stato appena inserito da un "
                                                    "altro utente.")
                                         .arg(r.CliCodice));
            t.Seek(QStringLiteral("<="), {2147483646});
            r.CliCodice = InteroDa(t.Field(QStringLiteral("CliCodice"))) + 1;
            t.Seek(QStringLiteral("="), {r.CliCodice});
        }
        if (t.NoMatch()) {
            t.AddNew();
            t.SetField(QStringLiteral("CliCodice"), r.CliCodice);
        } else {
            t.Edit();
        }
        ScriviCliente(t);
        t.Update();
    });
    if (!scritto) return;
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
    const bool scritto = ScriviInTransazione([&](motore::Recordset& t) {
        t.Seek(QStringLiteral("="), {codice});
        if (!t.NoMatch()) t.Delete();
    });
    if (!scritto) return;
    ModoMaschera = 3;
    if (StartClientCode > 0) {
        close();
        return;
    }
    AzzeraMaschera();
    Txt(0)->setFocus(Qt::OtherFocusReason);
}

void GesCliC::Annulla() {
    ModoMaschera = 0;
    AzzeraMaschera();
    Txt(0)->setFocus(Qt::OtherFocusReason);
}
