#pragma once

// The lists of similar clients and homonyms as the client form shows them.

#include <QString>

#include <cstdint>

class EleCli;
class Global;

// Fills the dialog's list with the clients whose VAT number (a numeric key) or fiscal code
// starts like `chiave` and returns how many of them are not the client in the record.
// Past 200 the operator is asked once whether to go on; `chiediElencoLungo` ends false when
// the answer was yes. A query that cannot run gives 0 and leaves the list as it was.
int ElencoSimili(Global& g, EleCli& dialogo, QString& chiave, bool& chiediElencoLungo);

// The last client other than the one in the record that bears exactly this name, or 0.
// g.MessageTitle gets the warning title with one "codice = n" line per client found.
std::int32_t CercaOmonimi(Global& g, const QString& ragioneSociale);
