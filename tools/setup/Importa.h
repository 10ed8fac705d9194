#pragma once

// Import of an existing client list (CSV) into a company's Clienti, through the rules the
// client form applies: the program's own export, or a file headed by the column names.

#include "engine/Motore.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <stdexcept>

class QTextStream;

namespace setup {

struct EsitoImport {
    QString forma;  // what the file was read as, in words
    QStringList colonneIgnorate;
    qint64 lette = 0;  // records with something in them; imported + rejected
    qint64 importate = 0;
    qint64 scartate = 0;
    qint64 vuote = 0;     // blank lines and rows of empty fields, skipped
    qint64 tagliate = 0;  // imported rows with a text cut to its column's width
    QString fileScarti;   // FILE.scarti.csv when something was rejected
};

// The file as a whole is not a client list: nothing is imported, and no line is rejected.
class FileRifiutato : public std::runtime_error {
  public:
    FileRifiutato(qint64 riga, const QString& motivo)
        : std::runtime_error(motivo.toStdString()), riga_(riga), motivo_(motivo) {}
    qint64 Riga() const { return riga_; }
    const QString& Motivo() const { return motivo_; }

  private:
    qint64 riga_;
    QString motivo_;
};

// Told now and then how far a long import has come: the phase ("lettura", "scrittura"),
// done, out of.
using Avanzamento = std::function<void(const char* fase, qint64 fatte, qint64 totale)>;

// Reads `file` and adds its clients to the company in one transaction on `ws`: a failure
// stores nothing, nor does a file that changes while it is read. A line is refused as the
// client form refuses a field, also for a fiscal code or VAT number that a stored client or
// an earlier line holds. Rejected lines go to `file` + ".scarti.csv", in the file's own
// shape with their reasons in a last column, so that once corrected it imports as it is;
// it is written as the program writes its documents (readable by its owner alone, a link
// under its name replaced, never followed). A stale one from an earlier run is removed.
// Throws FileRifiutato, motore::Errore or std::runtime_error; then nothing is stored.
// `cifre` false takes fiscal codes and VAT numbers by their length alone.
EsitoImport ImportaClienti(motore::Workspace& ws, motore::Database& ditta,
                           motore::Database& tabelle, const QString& file,
                           const Avanzamento& avanzamento = {}, bool cifre = true);

// The databases of one company of an installation, on `ws`.
struct DatabaseAzienda {
    std::unique_ptr<motore::Database> ditta;
    std::unique_ptr<motore::Database> tabelle;
};
// Files under `radice`, or schemas on `server` when it is given.
DatabaseAzienda ApriAzienda(motore::Workspace& ws, const QString& server, const QString& radice,
                            const QString& azienda);

// anagrafica-setup ROOT COMPANY --importa-clienti FILE (or --server CONNINFO COMPANY ...):
// prints what was read and the counts. Returns the exit code: 0 every line imported, 1
// anything rejected or a failure.
int ComandoImporta(const QString& server, const QString& radice, const QString& azienda,
                   const QString& file, QTextStream& out, QTextStream& err,
                   const Avanzamento& avanzamento = {}, bool cifre = true);

// A progress line on stderr, redrawn in place, for a terminal.
Avanzamento AvanzamentoSuTerminale();

}  // namespace setup
