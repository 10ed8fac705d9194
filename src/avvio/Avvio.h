#pragma once

// Start-up and shut-down of the session held in Global: which installation the program
// serves, its environment file, its settings and its two databases. Each step returns false
// when the program must end (the operator has already been told why).

#include <QString>

class Global;

// Command line and environment file. `cartellaSistema` is where the file is looked for
// when it is not beside the program.
bool InizializzaAmbiente(Global& g, const QString& rigaDiComando, const QString& cartellaProgramma,
                         const QString& cartellaSistema);

// Settings, company database, code-tables database and the Clienti table.
bool CaricaAmbiente(Global& g);

// The text that titles the client form once the settings are known.
QString DidascaliaIniziale(const Global& g);

void ApriDatabaseDitta(Global& g);
void ChiudiDatabaseDitta(Global& g);
// The code-tables database, with the same message and Retry as the company database.
void ApriDatabaseTabelle(Global& g);

// Closes the client table and both databases.
void ChiudiAmbiente(Global& g);
