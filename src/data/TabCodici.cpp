#include "data/TabCodici.h"

#include "ui/Global.h"
#include "ui/Valori.h"

#include <memory>

namespace {

const QString kPrimaria = QStringLiteral("primaria");

// Opens a table of the code-tables database, offering Retry/Cancel on failure; null when the
// operator gives up.
std::unique_ptr<motore::Recordset> ApriConRiprova(Global& g, const QString& tabella) {
    for (;;) {
        try {
            auto& db = g.EnvironmentSettings.CodeTablesDatabase;
            if (!db)
                throw motore::Errore(motore::ErrGenerico,
                                     QStringLiteral("Il database delle tabelle non è aperto."));
            return db->OpenTable(tabella);
        } catch (const motore::Errore& e) {
            g.MessageTitle = QStringLiteral("ERRORE IN APERTURA TABELLA ") + tabella;
            if (g.MsgBox(QString::number(e.Numero()) + QStringLiteral(": ") + e.Descrizione(),
                         Pulsanti::RiprovaAnnulla, Icona::Esclamazione,
                         g.MessageTitle) != Risposta::Riprova)
                return nullptr;
        }
    }
}

// The nation codes are all digits; signs, separators and exponents make an ISO code instead.
bool SoloCifre(const QString& testo) {
    if (testo.isEmpty()) return false;
    for (QChar c : testo)
        if (c < u'0' || c > u'9') return false;
    return true;
}

}  // namespace

void ApriTabCodici(Global& g) {
    if (g.CurrentCodeTableKind == 1) return;
    g.CurrentCodeTableKind = 0;
    g.CurrentCodeTable = ApriConRiprova(g, g.TableName);
    if (g.CurrentCodeTable) g.CurrentCodeTableKind = 1;
}

void LeggiCodice(Global& g, const QString& codice) {
    g.FoundCode.clear();
    g.FoundDescription.clear();
    ApriTabCodici(g);
    if (g.CurrentCodeTableKind != 1 || !g.CurrentCodeTable) return;
    try {
        QString trovato, descrizione;
        if (!CercaCodice(*g.CurrentCodeTable, codice, &trovato, &descrizione)) return;
        g.FoundDescription = descrizione;
        g.FoundCode = trovato;
    } catch (const motore::Errore&) {
        // A damaged table reads as a missing code: the callers ask again or report it.
        g.FoundCode.clear();
        g.FoundDescription.clear();
    }
}

void ChiudiTabCodici(Global& g) {
    if (g.CurrentCodeTable) g.CurrentCodeTable->Close();
    g.CurrentCodeTable.reset();
    g.CurrentCodeTableKind = 0;
}

bool CodiceMancante(Global& g, bool biancoMancante) {
    // Callers check fields in turn and keep the first error found in this slot.
    struct Ripristina {
        Global& g;
        const std::int16_t numero = g.FieldErrorNumber;
        ~Ripristina() { g.FieldErrorNumber = numero; }
    } ripristina{g};

    ChiudiTabCodici(g);
    g.FoundCode.clear();
    g.FoundDescription.clear();
    if (g.SoughtCode.trimmed().isEmpty()) return biancoMancante;
    LeggiCodice(g, g.SoughtCode);
    ChiudiTabCodici(g);
    return g.FoundCode.isEmpty();
}

QString CodiceIsoNazione(Global& g, QString& nazione) {
    nazione = nazione.trimmed();
    if (nazione.isEmpty()) return QString();
    // A recordset of its own, so that a code table the caller has open stays current.
    std::unique_ptr<motore::Recordset> t = ApriConRiprova(g, QStringLiteral("NAZIONI"));
    if (!t) return QString();
    QString risultato;
    try {
        risultato = IsoNazione(*t, nazione);
    } catch (const motore::Errore&) {
        risultato.clear();
    }
    t->Close();
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

bool ApriConRiprova(Global& g, const QString& titolo,
                    const std::function<void(motore::Database&)>& apertura) {
    for (;;) {
        try {
            auto* db = g.EnvironmentSettings.CodeTablesDatabase.get();
            if (!db)
                throw motore::Errore(motore::ErrGenerico,
                                     QStringLiteral("Il database delle tabelle non è aperto."));
            apertura(*db);
            return true;
        } catch (const motore::Errore& e) {
            g.MessageTitle = titolo;
            if (g.MsgBox(QString::number(e.Numero()) + QStringLiteral(": ") + e.Descrizione(),
                         Pulsanti::RiprovaAnnulla, Icona::Esclamazione,
                         g.MessageTitle) != Risposta::Riprova)
                return false;
        }
    }
}
