#pragma once

// Starting the office's programs on a document: the one configured under [APPLICATIVI] in
// the environment file, else the one this desktop associates with the document's type.

#include <QString>
#include <QStringList>

class Global;

// Starts the program configured under `applicazione` ("Excel" or "EDITOR", any case) on
// `documento`, with `extra` after it; any other name does nothing. `applicazione` receives
// the path used and `documento` may get quotes. When the program is LibreOffice, the
// arguments `perLibreOffice` come right after its name. The program is never waited for.
void ApriApplicativo(Global& g, QString& applicazione, QString& documento, const QString& extra,
                     const QStringList& perLibreOffice = {});

// The program this desktop opens the document's type with, or a text starting with "#" that
// says why there is none.
QString TrovaEseguibile(const QString& documento);

// The same, as the whole command the desktop's entry for that program runs on the document:
// the program's path first. "" when `comando` was filled, else the "#" text.
QString ComandoAssociato(const QString& documento, QStringList& comando);

// A path that holds a blank, in double quotes (the caller's variable too).
QString TraVirgolette(QString& percorso);

// The command line as its quoting splits it: the program first, then its arguments.
QStringList DividiRigaDiComando(const QString& riga);
