#pragma once

#include <QString>

#include <functional>

namespace motore {
class Database;
class Recordset;
}  // namespace motore

class Global;

// The code tables (provinces, nations, categories...) of the code-tables database, read one
// at a time through the exchange slots of Global: TableName names the table, the code found
// and its description come back in FoundCode and FoundDescription.

// Opens TableName as the current code table unless one is already current; an open error is
// offered for retry.
void ApriTabCodici(Global& g);
// Looks the code up on the current code table (opening it first when needed).
void LeggiCodice(Global& g, const QString& codice);
void ChiudiTabCodici(Global& g);
// True when SoughtCode is not in TableName; a blank SoughtCode gives `biancoMancante`.
bool CodiceMancante(Global& g, bool biancoMancante);
// The ISO code of a nation given by its numeric code or its ISO code; "" when not found.
// The caller's text is trimmed and numeric codes are zero-filled to three digits.
QString CodiceIsoNazione(Global& g, QString& nazione);

// The same two lookups on a table the caller holds open, without messages: for readers of
// many codes. Engine errors come through as motore::Errore.
// True when the code is in the table; its stored code and description when asked.
bool CercaCodice(motore::Recordset& tabella, const QString& codice, QString* trovato = nullptr,
                 QString* descrizione = nullptr);
// On NAZIONI: the ISO code, "" when not found; `nazione` is trimmed and zero-filled as above.
QString IsoNazione(motore::Recordset& nazioni, QString& nazione);

// Runs `apertura` on the code-tables database; an error is shown under `titolo` with Retry
// and Cancel, for as long as the operator retries. False after Cancel.
bool ApriConRiprova(Global& g, const QString& titolo,
                    const std::function<void(motore::Database&)>& apertura);
