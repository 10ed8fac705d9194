#pragma once

#include <cstdint>

class Global;
struct ClientRecord;

namespace motore {
class Recordset;
}

// The Clienti table, open for the whole run on its primary index, and the one client record.
void ApriClienti(Global& g);
void ChiudiClienti(Global& g);
// Reads the client with that code into the record, or clears the record when there is none.
// False, after telling the operator, when the table could not be read: the record is then
// cleared too, never half filled.
bool LeggiCliente(Global& g, std::int32_t codice);
void PulisciCliente(Global& g);
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
