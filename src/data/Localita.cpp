// The LOCALITA table: seeks by key for the form's search and paging, and its two writes.

#include "data/Localita.h"

#include "data/Sessione.h"

namespace {

const QString kTabella = QStringLiteral("LOCALITA");
const QString kLocalita = QStringLiteral("LocLocalita");
const QString kCap = QStringLiteral("LocCAP");
const QString kProvincia = QStringLiteral("LocProvincia");
const QString kPrefisso = QStringLiteral("LocPrefisso");
const QString kRegione = QStringLiteral("LocRegione");

}  // namespace

TabellaLocalita::TabellaLocalita(Sessione& s) : s_(s) {}

TabellaLocalita::~TabellaLocalita() {
    Chiudi();
}

bool TabellaLocalita::Apri(const Riprova& riprova) {
    const bool aperta = ApriTabellaCodici(
        s_,
        [this](motore::Database& db) {
            tabella_ = db.OpenTable(kTabella);
            tabella_->SetIndex(QStringLiteral("primaria"));
        },
        riprova);
    if (!aperta) tabella_.reset();
    return aperta;
}

void TabellaLocalita::Chiudi() {
    if (tabella_) tabella_->Close();
    tabella_.reset();
}

RigaLocalita TabellaLocalita::Corrente() const {
    const motore::Recordset& t = *tabella_;
    return RigaLocalita{t.Field(kLocalita), t.Field(kCap), t.Field(kProvincia), t.Field(kPrefisso),
                        t.Field(kRegione)};
}

Guasto TabellaLocalita::Cerca(const QString& confronto, const QString& localita, const QString& cap,
                              std::optional<RigaLocalita>& riga) {
    riga.reset();
    if (!tabella_) return Causa{motore::ErrGenerico, QStringLiteral("Tabella località chiusa.")};
    try {
        tabella_->Seek(confronto, {localita, cap});
        if (!tabella_->NoMatch()) riga = Corrente();
        return std::nullopt;
    } catch (const motore::Errore& e) {
        return CausaDi(e);
    }
}

EsitoSalvataggio TabellaLocalita::Salva(const RigaLocalita& nuova, const RigaLocalita* letta,
                                        bool inserimento, bool sovrascrivi) {
    EsitoSalvataggio esito;
    if (!tabella_) {
        esito.tipo = EsitoSalvataggio::Fallito;
        esito.causa = Causa{motore::ErrGenerico, QStringLiteral("Tabella località chiusa.")};
        return esito;
    }
    motore::Recordset& t = *tabella_;
    const auto scrittura = [&] {
        EsitoSalvataggio e;
        // The row is found again inside the transaction: as stored now, not as read.
        t.Seek(QStringLiteral("="), {nuova.localita, nuova.cap});
        if (letta && t.NoMatch()) {
            e.tipo = EsitoSalvataggio::CancellatoDaAltri;  // a change never brings a row back
            return e;
        }
        if (letta && !sovrascrivi && !(Corrente() == *letta)) {
            e.tipo = EsitoSalvataggio::CambiatoDaAltri;
            return e;
        }
        // A new locality another operator stored first: that row is not edited unasked.
        if (inserimento && !t.NoMatch() && !sovrascrivi && !(Corrente() == nuova)) {
            e.tipo = EsitoSalvataggio::CambiatoDaAltri;
            return e;
        }
        if (t.NoMatch()) {
            t.AddNew();
            t.SetField(kLocalita, nuova.localita);
        } else {
            t.Edit();
        }
        t.SetField(kCap, nuova.cap);
        t.SetField(kProvincia, nuova.provincia);
        t.SetField(kPrefisso, nuova.prefisso);
        t.SetField(kRegione, nuova.regione);
        t.Update();
        return e;
    };
    const auto annulla = [&] { t.CancelUpdate(); };
    if (motore::Workspace* ws = s_.EnvironmentSettings.Workspace.get())
        return InTransazione(*ws, scrittura, annulla);
    try {
        return scrittura();
    } catch (const motore::Errore& e) {
        annulla();
        return EsitoDi(e);
    }
}

EsitoSalvataggio TabellaLocalita::Elimina(const QString& localita, const QString& cap) {
    EsitoSalvataggio esito;
    try {
        if (!tabella_)
            throw motore::Errore(motore::ErrGenerico, QStringLiteral("Tabella località chiusa."));
        tabella_->Seek(QStringLiteral("="), {localita, cap});
        if (tabella_->NoMatch())
            esito.tipo = EsitoSalvataggio::CancellatoDaAltri;
        else
            tabella_->Delete();
    } catch (const motore::Errore& e) {
        if (tabella_) tabella_->CancelUpdate();
        return EsitoDi(e);
    }
    return esito;
}
