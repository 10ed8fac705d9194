// The Clienti table: reads, the save with its outcomes, deletion, codes, and the lists of
// similar clients and homonyms. Every write runs in one transaction that asks nothing: what
// another program did meanwhile is found inside it and returned, for the form to ask about.

#include "data/Clienti.h"

#include "app/Valori.h"
#include "data/RegoleCliente.h"

#include <functional>
#include <limits>
#include <utility>

namespace {

const QString kPrimaria = QStringLiteral("primaria");

template <int N>
void DaColonna(FixedText<N>& campo, const QVariant& v) {
    campo = TestoDaNull(v, QStringLiteral(" "));
}

}  // namespace

Guasto ApriClienti(Sessione& s) {
    s.ClientsTableOpen = false;
    s.ClientsTable.reset();
    try {
        if (!s.EnvironmentSettings.CompanyDatabase)
            throw motore::Errore(motore::ErrGenerico,
                                 QStringLiteral("Il database della ditta non è aperto."));
        s.ClientsTable =
            s.EnvironmentSettings.CompanyDatabase->OpenTable(QStringLiteral("Clienti"));
    } catch (const motore::Errore& e) {
        return CausaDi(e);
    }
    s.ClientsTableOpen = true;
    try {
        s.ClientsTable->SetIndex(kPrimaria);
    } catch (const motore::Errore&) {
        // Without its index the table still opens; every seek will then report it.
    }
    return std::nullopt;
}

void ChiudiClienti(Sessione& s) {
    if (s.ClientsTableOpen && s.ClientsTable) s.ClientsTable->Close();
    s.ClientsTable.reset();
    s.ClientsTableOpen = false;
}

void PulisciCliente(Sessione& s) {
    s.ClientRecord = ClientRecord();
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

Guasto LeggiCliente(Sessione& s, std::int32_t codice) {
    if (!s.ClientsTableOpen) {
        if (Guasto guasto = ApriClienti(s)) {
            PulisciCliente(s);
            return guasto;
        }
    }
    try {
        if (!s.ClientsTable)
            throw motore::Errore(motore::ErrGenerico, QStringLiteral("Tabella clienti chiusa."));
        motore::Recordset& t = *s.ClientsTable;
        t.SetIndex(kPrimaria);
        t.Seek(QStringLiteral("="), {codice});
        if (t.NoMatch()) {
            PulisciCliente(s);
            return std::nullopt;
        }
        RigaCliente(t, s.ClientRecord);
        return std::nullopt;
    } catch (const motore::Errore& e) {
        // Half a client must never reach the form, where a save would store it.
        PulisciCliente(s);
        return CausaDi(e);
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
    clienti.SetIndex(kPrimaria);
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

Guasto CodiceLibero(Sessione& s, std::int32_t& codice) {
    try {
        if (!s.ClientsTable)
            throw motore::Errore(motore::ErrGenerico, QStringLiteral("Tabella clienti chiusa."));
        codice = CodiceNuovo(*s.ClientsTable);
        return std::nullopt;
    } catch (const motore::Errore& e) {
        return CausaDi(e);
    }
}

namespace {

// The record as ScriviCliente stores it: the name without its leading blanks.
ClientRecord ComeMemorizzato(ClientRecord r) {
    r.CliRagsoc = r.CliRagsoc.trimmed();
    return r;
}

// Whether the row under `codice` holds `r` exactly as this save would store it there.
bool UgualeA(motore::Recordset& t, ClientRecord r, std::int32_t codice) {
    t.Seek(QStringLiteral("="), {codice});
    if (t.NoMatch()) return false;
    ClientRecord ora;
    RigaCliente(t, ora);
    r.CliCodice = codice;
    return ora == ComeMemorizzato(std::move(r));
}

}  // namespace

EsitoSalvataggio ScriviNellaTransazione(motore::Recordset& t, ClientRecord& r,
                                        const ModoSalvataggio& modo) {
    EsitoSalvataggio esito;
    // The row is found again inside the transaction: as stored now, not as read.
    if (modo.letto || !modo.codiceVerificato) t.SetIndex(kPrimaria);
    if (modo.letto) {
        t.Seek(QStringLiteral("="), {r.CliCodice});
        if (t.NoMatch()) {
            esito.tipo = EsitoSalvataggio::CancellatoDaAltri;
            return esito;
        }
        ClientRecord ora;
        RigaCliente(t, ora);
        // Stored as this save would store it: a save whose outcome was unknown, made again.
        if (!modo.sovrascrivi && !(ora == *modo.letto) && !(ora == ComeMemorizzato(r))) {
            esito.tipo = EsitoSalvataggio::CambiatoDaAltri;
            return esito;
        }
        t.Edit();
    } else {
        if (!modo.codiceVerificato) {
            t.Seek(QStringLiteral("="), {r.CliCodice});
            if (!t.NoMatch()) {
                // The very client under its code: an insert whose outcome was unknown (the
                // server down with the COMMIT on its way), made again. Not a second copy.
                if (modo.ripetuto && UgualeA(t, r, r.CliCodice)) {
                    esito.codice = r.CliCodice;
                    return esito;
                }
                // Another client is stored under this code since it was taken.
                if (!modo.codiceAutomatico)
                    throw motore::Errore(
                        motore::ErrChiaveDuplicata,
                        QStringLiteral("Il codice %1 è stato appena inserito da un altro utente.")
                            .arg(r.CliCodice));
                const std::int32_t nuovo = CodiceNuovo(t);
                if (nuovo == 0) {
                    esito.tipo = EsitoSalvataggio::CodiciEsauriti;
                    return esito;
                }
                esito.tipo = EsitoSalvataggio::SalvatoAltroCodice;
                // The highest code may be this client's own, taken by the earlier attempt.
                if (modo.ripetuto && UgualeA(t, r, nuovo - 1)) {
                    r.CliCodice = nuovo - 1;
                    esito.codice = r.CliCodice;
                    return esito;
                }
                r.CliCodice = nuovo;
            }
        }
        t.AddNew();
        t.SetField(QStringLiteral("CliCodice"), r.CliCodice);
    }
    ScriviCliente(t, r);
    if (modo.ultima)
        t.UpdateFinale();
    else
        t.Update();
    esito.codice = r.CliCodice;
    return esito;
}

namespace {

EsitoSalvataggio SuClienti(Sessione& s,
                           const std::function<EsitoSalvataggio(motore::Recordset&)>& scrittura) {
    motore::Recordset* t = s.ClientsTable.get();
    return InTransazione(
        *s.EnvironmentSettings.Workspace,
        [&] {
            if (!t)
                throw motore::Errore(motore::ErrGenerico,
                                     QStringLiteral("Tabella clienti chiusa."));
            return scrittura(*t);
        },
        [&] {
            if (t) t->CancelUpdate();
        });
}

}  // namespace

EsitoSalvataggio SalvaCliente(Sessione& s, ClientRecord& r, const ModoSalvataggio& modo) {
    const std::int32_t codice = r.CliCodice;
    ModoSalvataggio ultima = modo;
    ultima.ultima = true;
    EsitoSalvataggio esito =
        SuClienti(s, [&](motore::Recordset& t) { return ScriviNellaTransazione(t, r, ultima); });
    // What was not stored keeps the code it came with.
    if (!esito.Scritto()) r.CliCodice = codice;
    return esito;
}

EsitoSalvataggio EliminaCliente(Sessione& s, std::int32_t codice, const ClientRecord* letto) {
    return SuClienti(s, [&](motore::Recordset& t) {
        EsitoSalvataggio esito;
        esito.codice = codice;
        t.SetIndex(kPrimaria);
        t.Seek(QStringLiteral("="), {codice});
        if (t.NoMatch()) {
            esito.tipo = EsitoSalvataggio::CancellatoDaAltri;
            return esito;
        }
        if (letto) {
            ClientRecord ora;
            RigaCliente(t, ora);
            if (!(ora == *letto)) {
                esito.tipo = EsitoSalvataggio::CambiatoDaAltri;
                return esito;
            }
        }
        t.Delete();
        return esito;
    });
}

namespace {

QString Testo(const QVariant& v) {
    return v.isNull() ? QString() : v.toString();
}

QString Colonna(const QVariant& v, int larghezza) {
    return AllaLarghezza(Testo(v), larghezza);
}

// The key goes into a quoted literal: an apostrophe must stay a character of it.
QString Letterale(QString testo) {
    return testo.replace(u'\'', QStringLiteral("''"));
}

}  // namespace

QString RigaSimile(const QVariant& codice, const QVariant& chiave, const QVariant& ragsoc,
                   const QVariant& indirizzo, const QVariant& localita, const QVariant& provincia) {
    return AllineaDestra(Testo(codice).trimmed(), 6).left(6) + u'-' + Testo(chiave) + u'-' +
           Colonna(ragsoc, 30) + u' ' + Colonna(indirizzo, 20) + u' ' + Colonna(localita, 30) +
           u' ' + Colonna(provincia, 2);
}

Guasto LeggiSimili(Sessione& s, const QString& chiave, std::int32_t escluso, bool tutto,
                   ListaSimili& elenco) {
    const RicercaDetentori ricerca = DetentoriDi(chiave);
    const QString colonna = ricerca.Colonna();
    const QString uguale = QStringLiteral(" = '") + Letterale(ricerca.da) + u'\'';
    const QString filtro =
        ricerca.InEntrambe()
            ? u'(' + colonna + uguale + QStringLiteral(" OR CliCodiceFiscale") + uguale + u')'
        : ricerca.intera ? colonna + uguale
                         : colonna + QStringLiteral(" BETWEEN '") + Letterale(ricerca.da) +
                               QStringLiteral("' AND '") + Letterale(ricerca.a) + u'\'';
    elenco.query = QStringLiteral(
                       "SELECT CliCodice, CliRagSoc, CliIndirizzo, CliLocalita, CliProvincia, "
                       "CliPartitaIva, CliCodiceFiscale FROM Clienti WHERE ") +
                   filtro + QStringLiteral(" ORDER BY ") + colonna;
    elenco.righe.clear();
    elenco.altri = 0;
    elenco.oltre = false;
    try {
        auto* db = s.EnvironmentSettings.CompanyDatabase.get();
        if (!db)
            throw motore::Errore(motore::ErrGenerico,
                                 QStringLiteral("Il database della ditta non è aperto."));
        auto rs = db->OpenSnapshot(elenco.query);
        for (; !rs->Eof(); rs->MoveNext()) {
            const QVariant codice = rs->Field(QStringLiteral("CliCodice"));
            if (InteroDa(codice) != escluso) ++elenco.altri;
            if (!tutto && elenco.altri > kSimiliOltre) {
                elenco.oltre = true;
                break;
            }
            // The value found, in whichever of the two columns it was.
            QVariant valore = rs->Field(colonna);
            if (ricerca.InEntrambe() && Testo(valore).trimmed() != ricerca.da)
                valore = rs->Field(QStringLiteral("CliCodiceFiscale"));
            elenco.righe << RigaSimile(codice, valore, rs->Field(QStringLiteral("CliRagSoc")),
                                       rs->Field(QStringLiteral("CliIndirizzo")),
                                       rs->Field(QStringLiteral("CliLocalita")),
                                       rs->Field(QStringLiteral("CliProvincia")));
        }
        rs->Close();
    } catch (const motore::Errore& e) {
        return CausaDi(e);
    }
    return std::nullopt;
}

Guasto LeggiOmonimi(Sessione& s, const QString& ragioneSociale, std::int32_t escluso,
                    std::vector<std::int32_t>& codici, QString& query) {
    codici.clear();
    query = QStringLiteral("SELECT CliCodice, CliRagSoc FROM Clienti WHERE ") +
            QStringLiteral("(CliRagSoc = '") + Letterale(ragioneSociale.trimmed()) +
            QStringLiteral("')");
    try {
        auto* db = s.EnvironmentSettings.CompanyDatabase.get();
        if (!db)
            throw motore::Errore(motore::ErrGenerico,
                                 QStringLiteral("Il database della ditta non è aperto."));
        auto rs = db->OpenSnapshot(query);
        for (; !rs->Eof(); rs->MoveNext()) {
            const std::int32_t codice = InteroDa(rs->Field(QStringLiteral("CliCodice")));
            if (codice != escluso) codici.push_back(codice);
        }
        rs->Close();
    } catch (const motore::Errore& e) {
        return CausaDi(e);
    }
    return std::nullopt;
}
