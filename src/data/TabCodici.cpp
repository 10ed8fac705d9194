// The code tables: a code looked up on a table opened for it, or on one the caller holds.

#include "data/TabCodici.h"

#include "app/Valori.h"
#include "data/Sessione.h"

#include <memory>
#include <utility>

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

TabellaCodici::TabellaCodici(QString nome) : nome_(std::move(nome)) {}

TabellaCodici::~TabellaCodici() {
    Chiudi();
}

bool TabellaCodici::Apri(Sessione& s, const Riprova& riprova) {
    Chiudi();
    return ApriTabellaCodici(
        s, [this](motore::Database& db) { tabella_ = db.OpenTable(nome_); }, riprova);
}

void TabellaCodici::Chiudi() {
    if (tabella_) tabella_->Close();
    tabella_.reset();
}

bool TabellaCodici::Larghezze(int& codice, int& descrizione) const {
    if (!tabella_) return false;
    try {
        codice = tabella_->FieldSize(QStringLiteral("CODICE"));
        descrizione = tabella_->FieldSize(QStringLiteral("Descrizione"));
        return true;
    } catch (const motore::Errore&) {
        return false;
    }
}

QString TabellaCodici::TestoElenco(QString testo, bool perCodice) const {
    testo.replace(QLatin1String("'"), QLatin1String("''"));
    const QString colonna = perCodice ? QStringLiteral("CODICE") : QStringLiteral("DESCRIZIONE");
    // In the searched column's order: past 1000 rows the operator may keep only the first,
    // and those must be the ones the sorted list starts with, the closest to the text.
    return QStringLiteral("Select CODICE, DESCRIZIONE from ") + nome_ + QStringLiteral(" where ") +
           colonna + QStringLiteral(" BETWEEN '") + testo + QStringLiteral("' and '") + testo +
           QStringLiteral("zzz' ORDER BY ") + colonna;
}

bool TabellaCodici::LeggiElenco(
    Sessione& s, const QString& sql, qsizetype limite,
    const std::function<void(const QString& codice, const QString& descrizione)>& riga,
    const Riprova& riprova, bool& aperta) {
    std::unique_ptr<motore::Recordset> elenco;
    aperta = ApriTabellaCodici(
        s, [&](motore::Database& db) { elenco = db.OpenSnapshot(sql); }, riprova);
    if (!aperta) return false;
    const QString colonnaCodice = QStringLiteral("CODICE");
    const QString colonnaDescrizione = QStringLiteral("Descrizione");
    bool altre = false;
    try {
        for (qsizetype letti = 0; !elenco->Eof(); elenco->MoveNext(), ++letti) {
            if (letti == limite) {
                altre = true;
                break;
            }
            riga(elenco->Field(colonnaCodice).toString(),
                 elenco->Field(colonnaDescrizione).toString());
        }
    } catch (const motore::Errore&) {
        // A row that cannot be read ends the list where it is.
    }
    elenco->Close();
    return altre;
}

VoceTabella TabellaCodici::Leggi(const QString& codice) const {
    VoceTabella voce;
    if (!tabella_) return voce;
    try {
        if (!CercaCodice(*tabella_, codice, &voce.Codice, &voce.Descrizione)) voce = {};
    } catch (const motore::Errore&) {
        voce = {};  // not found, as far as the caller can tell
    }
    return voce;
}
