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
