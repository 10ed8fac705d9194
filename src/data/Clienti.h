#pragma once

// The Clienti table: the one home of every read and write of clients, for the client form,
// the search and the import alike. A save says what happened (Esito.h); a read that fails
// says why; nothing here shows anything to the operator.

#include "data/Esito.h"
#include "data/Sessione.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Opens the table on its primary index for the whole run; its cause when it cannot be.
Guasto ApriClienti(Sessione& s);
void ChiudiClienti(Sessione& s);
// Reads the client with that code into the record, or clears the record when there is none.
// When the table cannot be read the record is cleared too, never half filled.
Guasto LeggiCliente(Sessione& s, std::int32_t codice);
void PulisciCliente(Sessione& s);
// The client on the table's current row, as a record (a null column reads as blanks or 0).
void RigaCliente(const motore::Recordset& t, ClientRecord& r);

// Sets a row's columns from the record, as a save stores them: the name trimmed, every other
// text at its full width, the exemption date as its day number. The row is being added or
// edited; the code is the caller's.
void ScriviCliente(motore::Recordset& t, const ClientRecord& r);

// The highest stored code a new client can follow (never the largest 32-bit one, whose
// successor does not exist); 0 when there is none. Leaves the table on its primary index.
std::int32_t CodiceMassimo(motore::Recordset& clienti);

// The code a new client takes: the highest stored code + 1, 1 in an empty table; 0 when
// that one is stored too (the top of the range is used up). Leaves the table on its primary
// index.
std::int32_t CodiceNuovo(motore::Recordset& clienti);
// The same on the session's table; its cause when the table cannot be read.
Guasto CodiceLibero(Sessione& s, std::int32_t& codice);

// How a save finds the row it writes.
struct ModoSalvataggio {
    // The client as read for a change; null for a new client.
    const ClientRecord* letto = nullptr;
    // A new client whose code the program chose: taken meanwhile, it moves to the next
    // free one. A code the operator typed is refused instead.
    bool codiceAutomatico = false;
    // A change stored over another program's change.
    bool sovrascrivi = false;
    // A new client whose code the caller has checked free under the write lock it holds.
    bool codiceVerificato = false;
    // The write is the transaction's last: a server may send it with the COMMIT.
    bool ultima = false;
    // Made again after a save whose outcome was unknown: a client found stored as this one
    // would be is that save's. Otherwise it is another operator's, and stays theirs.
    bool ripetuto = false;
};

// Writes `r` into the table inside the caller's transaction: a new client as a new row
// (never in place of a stored one), a change over the row as it was read. `r.CliCodice`
// becomes the code stored. Engine errors come through as motore::Errore.
EsitoSalvataggio ScriviNellaTransazione(motore::Recordset& t, ClientRecord& r,
                                        const ModoSalvataggio& modo);
// The same as one transaction of the session, which is over when it returns.
EsitoSalvataggio SalvaCliente(Sessione& s, ClientRecord& r, const ModoSalvataggio& modo);
// Deletes the client with that code; CancellatoDaAltri when it is gone already. With the
// client as `letto`, one stored otherwise now (changed, or another client under a code used
// again) is not deleted: CambiatoDaAltri.
EsitoSalvataggio EliminaCliente(Sessione& s, std::int32_t codice, const ClientRecord* letto);

// The clients whose VAT number (a numeric key) or fiscal code starts like `chiave`, one line
// each in the order of that column, for the list of similar clients.
struct ListaSimili {
    QString query;       // the SQL text sent
    QStringList righe;   // the lines read
    int altri = 0;       // how many of them are not client `escluso`
    bool oltre = false;  // stopped past the limit: not every client is in `righe`
};
inline constexpr int kSimiliOltre = 200;
// Reads up to the first other client past kSimiliOltre unless `tutto`. The read is over when
// it returns: nothing stays open while the operator is asked whether to read them all.
Guasto LeggiSimili(Sessione& s, const QString& chiave, std::int32_t escluso, bool tutto,
                   ListaSimili& elenco);
// One line of that list; `chiave` is the VAT number or fiscal code the list is sorted by.
// Null values count as empty.
QString RigaSimile(const QVariant& codice, const QVariant& chiave, const QVariant& ragsoc,
                   const QVariant& indirizzo, const QVariant& localita, const QVariant& provincia);

// The codes of the clients other than `escluso` that bear exactly this name, in the order
// read; `query` gets the SQL text sent.
Guasto LeggiOmonimi(Sessione& s, const QString& ragioneSociale, std::int32_t escluso,
                    std::vector<std::int32_t>& codici, QString& query);
