// The code tables: a code looked up on a table opened for it, or on one the caller holds.

#include "data/TabCodici.h"

#include "app/Valori.h"
#include "data/Sessione.h"

#include <memory>

namespace {

const QString kPrimaria = QStringLiteral("primaria");

// The nation codes are all digits; signs, separators and exponents make an ISO code instead.
bool SoloCifre(const QString& testo) {
    if (testo.isEmpty()) return false;
    for (QChar c : testo)
        if (c < u'0' || c > u'9') return false;
    return true;
}

}  // namespace

bool ApriTabellaCodici(Sessione& s, const std::function<void(motore::Database&)>& apertura,
                       const Riprova& riprova) {
    for (;;) {
        try {
            auto* db = s.EnvironmentSettings.CodeTablesDatabase.get();
            if (!db)
                throw motore::Errore(motore::ErrGenerico,
                                     QStringLiteral("Il database delle tabelle non è aperto."));
            apertura(*db);
            return true;
        } catch (const motore::Errore& e) {
            if (!riprova || !riprova(CausaDi(e))) return false;
        }
    }
}

bool CodiceMancante(Sessione& s, const QString& tabella, const QString& codice, bool biancoMancante,
                    const Riprova& riprova, QString* descrizione) {
    if (descrizione) descrizione->clear();
    if (codice.trimmed().isEmpty()) return biancoMancante;
    std::unique_ptr<motore::Recordset> t;
    if (!ApriTabellaCodici(
            s, [&](motore::Database& db) { t = db.OpenTable(tabella); }, riprova))
        return true;
    bool trovato = false;
    try {
        trovato = CercaCodice(*t, codice, nullptr, descrizione);
        t->Close();
    } catch (const motore::Errore&) {
        // A damaged table reads as a missing code: the callers ask again or report it.
        trovato = false;
    }
    if (!trovato && descrizione) descrizione->clear();
    return !trovato;
}

QString CodiceIsoNazione(Sessione& s, QString& nazione, const Riprova& riprova) {
    nazione = nazione.trimmed();
    if (nazione.isEmpty()) return QString();
    std::unique_ptr<motore::Recordset> t;
    if (!ApriTabellaCodici(
            s, [&](motore::Database& db) { t = db.OpenTable(QStringLiteral("NAZIONI")); }, riprova))
        return QString();
    QString risultato;
    try {
        risultato = IsoNazione(*t, nazione);
        t->Close();
    } catch (const motore::Errore&) {
        risultato.clear();
    }
    return risultato;
}

bool CercaCodice(motore::Recordset& tabella, const QString& codice, QString* trovato,
                 QString* descrizione) {
    tabella.SetIndex(kPrimaria);
    tabella.Seek(QStringLiteral("="), {codice});
    if (tabella.NoMatch()) return false;
    if (trovato) *trovato = tabella.Field(QStringLiteral("CODICE")).toString();
    if (descrizione) *descrizione = tabella.Field(QStringLiteral("Descrizione")).toString();
    return true;
}

QString IsoNazione(motore::Recordset& nazioni, QString& nazione) {
    nazione = nazione.trimmed();
    if (nazione.isEmpty()) return QString();
    if (SoloCifre(nazione)) {
        nazione = RiempiZeri(nazione, 3);
        nazioni.SetIndex(kPrimaria);
    } else {
        nazioni.SetIndex(QStringLiteral("CodiceISO"));
    }
    nazioni.Seek(QStringLiteral("="), {nazione});
    if (nazioni.NoMatch()) return QString();
    return TestoDaNull(nazioni.Field(QStringLiteral("CodiceISO")));
}
