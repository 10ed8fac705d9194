#pragma once

// The code tables (provinces, nations, categories...) of the code-tables database: whether a
// code is there, its description, a nation's ISO code. A table that cannot be opened is
// offered to the caller's `Riprova` (which may ask the operator) for as long as it answers
// true; nothing here shows anything.

#include "data/Esito.h"

#include <QString>

#include <functional>
#include <memory>

namespace motore {
class Database;
class Recordset;
}  // namespace motore

struct Sessione;

// Asked, with its cause, when something cannot be opened: true to try once more.
using Riprova = std::function<bool(const Causa&)>;

// Runs `apertura` on the code-tables database until it succeeds or `riprova` gives up
// (false then).
bool ApriTabellaCodici(Sessione& s, const std::function<void(motore::Database&)>& apertura,
                       const Riprova& riprova);

// True when `codice` is not in table `tabella`; a blank code gives `biancoMancante`. A table
// that cannot be opened or read misses every code. The description found goes to
// `descrizione` when asked.
bool CodiceMancante(Sessione& s, const QString& tabella, const QString& codice, bool biancoMancante,
                    const Riprova& riprova, QString* descrizione = nullptr);
// The ISO code of a nation given by its numeric code or its ISO code; "" when not found.
// The caller's text is trimmed and numeric codes are zero-filled to three digits.
QString CodiceIsoNazione(Sessione& s, QString& nazione, const Riprova& riprova);

// The same two lookups on a table the caller holds open: for readers of many codes. Engine
// errors come through as motore::Errore.
// True when the code is in the table; its stored code and description when asked.
bool CercaCodice(motore::Recordset& tabella, const QString& codice, QString* trovato = nullptr,
                 QString* descrizione = nullptr);
// On NAZIONI: the ISO code, "" when not found; `nazione` is trimmed and zero-filled as above.
QString IsoNazione(motore::Recordset& nazioni, QString& nazione);

// One row of a code table as stored; both empty for none.
struct VoceTabella {
    QString Codice;
    QString Descrizione;
};

// One code table held open by the lookup dialog: the widths of its two columns, the rows of
// a range of codes or descriptions, and a row by its code. A read that fails ends quietly
// where it is: the dialog shows what it has.
class TabellaCodici {
  public:
    explicit TabellaCodici(QString nome);
    ~TabellaCodici();
    TabellaCodici(const TabellaCodici&) = delete;
    TabellaCodici& operator=(const TabellaCodici&) = delete;

    // False when `riprova` gave up on opening it.
    bool Apri(Sessione& s, const Riprova& riprova);
    void Chiudi();
    // The stored widths of CODICE and Descrizione; false when the table lacks either.
    bool Larghezze(int& codice, int& descrizione) const;

    // The list's query: the rows whose CODICE (`perCodice`) or DESCRIZIONE lie between the
    // typed text and the same text followed by "zzz"; the text is quoted here.
    QString TestoElenco(QString testo, bool perCodice) const;
    // Runs it, handing each row to `riga`, up to `limite` rows (-1: all); true when more were
    // left. `aperta` says whether it could be run at all. The read is closed when this
    // returns, so nothing is held while the caller asks the operator anything.
    bool LeggiElenco(
        Sessione& s, const QString& sql, qsizetype limite,
        const std::function<void(const QString& codice, const QString& descrizione)>& riga,
        const Riprova& riprova, bool& aperta);
    // The row stored under `codice` on the open table; empty when there is none.
    VoceTabella Leggi(const QString& codice) const;

  private:
    QString nome_;
    std::unique_ptr<motore::Recordset> tabella_;
};
