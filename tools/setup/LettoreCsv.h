#pragma once

// Reading of the CSV texts offices have: the program's own export (";", Windows-1252, no
// quoting in older files, quotes around a field holding ";" or '"' in newer ones) and what
// spreadsheets and mdb-export write (",", ";" or tab, quoted fields that may span lines,
// UTF-8 or Windows-1252). Bytes in, records out; what the fields mean is the caller's.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace setup::csv {

// Longer records are refused, not read: a client row is a few hundred bytes.
constexpr qsizetype kMassimoRecord = 64 * 1024;

enum class Codifica { Utf8, Windows1252 };
QString NomeCodifica(Codifica c);

// What the bytes of a text can be read as; ASCII reads the same in both.
enum class Testo { Ascii, Utf8, NonUtf8 };
Testo TipoTesto(QByteArrayView byte);
QString Decodifica(QByteArrayView byte, Codifica c);

struct Record {
    qint64 riga = 0;                 // first physical line, from 1
    qint64 righe = 1;                // physical lines it spans (LF, CR LF or CR end one)
    qsizetype inizio = 0, fine = 0;  // its bytes in the file, without the line end
    std::vector<QByteArray> campi;   // unquoted, not yet decoded
    QString errore;                  // why it could not be split; empty when it was
    bool vuota = false;              // a blank line
};

struct Opzioni {
    char separatore = ';';
    // A quoted field may hold line breaks. Without, a line is a record, and a line that does
    // not split as quoted CSV into `campiAttesi` fields is split at every separator, as the
    // program's export wrote before it quoted.
    bool multiriga = true;
    qsizetype campiAttesi = 0;
    // A line may leave out the last field (the reasons beside a rejected line).
    bool ultimoFacoltativo = false;
};

// Whether a line of `campi` fields, the last one empty or not, has the fields `o` expects:
// a final separator after the last field is allowed.
bool CampiGiusti(qsizetype campi, bool ultimoVuoto, const Opzioni& o);

// The record that starts at byte `inizio` on line `riga`; `*dopo` is where the next starts.
Record LeggiRecord(const QByteArray& dati, qsizetype inizio, qint64 riga, const Opzioni& o,
                   qsizetype* dopo);

// The records from `inizio` to the end. A quote left open stops at its own line: the lines
// after it are read again as records of their own.
std::vector<Record> LeggiTutti(const QByteArray& dati, qsizetype inizio, qint64 riga,
                               const Opzioni& o);

// A field's text as a client field takes it: line breaks become blanks, no blanks around.
QString TestoCampo(QByteArrayView byte, Codifica c);

}  // namespace setup::csv
