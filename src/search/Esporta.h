#pragma once

// The export of a grid to the spreadsheet program, which the shared Ctrl+F5 reaches.

#include <QByteArray>
#include <QString>

class Global;
class Griglia;

// Writes the grid, headings first, to TempDirectory + Mode + "_" + form + ".csv" and opens it
// in the spreadsheet program; a file it could not write whole is reported, never opened.
void EsportaGriglia(Global& g, Griglia& griglia, const QString& nomeForm);
