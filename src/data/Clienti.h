#pragma once

#include <cstdint>

class Global;

// The Clienti table, open for the whole run on its primary index, and the one client record.
void ApriClienti(Global& g);
void ChiudiClienti(Global& g);
// Reads the client with that code into the record, or clears the record when there is none.
void LeggiCliente(Global& g, std::int32_t codice);
void PulisciCliente(Global& g);
