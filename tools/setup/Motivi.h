#pragma once

// Why the import refuses a line of a client list, or the whole list: the texts the office's
// clerk reads beside the rejected lines and on the terminal, all in one place.

#include "data/RegoleCliente.h"

#include <QString>

#include <cstdint>

namespace setup::motivo {

// The heading of the column the rejects file adds beside each line; the import ignores it.
inline constexpr char16_t kColonna[] = u"MOTIVO SCARTO";

// The list as a whole.
QString NonLeggibile(const QString& file, const QString& causa);
QString UnaCartella(const QString& file);
QString TroppoGrande(const QString& file);
QString FileVuoto();
QString Utf16();
QString Binario();
QString IntestazioneSconosciuta();
QString Intestazione(const QString& errore);
QString ListaCambiata();

// A line as text.
QString VirgoletteAperte();
QString TestoDopoVirgolette();
QString RecordTroppoLungo();
QString RigaTroppoLunga(qsizetype massimo, qsizetype byte);
QString ByteNul();
QString NumeroCampi(qsizetype campi, qsizetype attesi);
QString Utf8TraWindows1252();
QString NonUtf8TraUtf8();

// A line's fields, by the client form's rules.
QString CodiceNonValido(const QString& codice, std::int32_t ultimo);
QString SenzaRagioneSociale();
QString CodiceFiscaleErrato(const QString& codiceFiscale, Difetto d);
QString NazioneAssente(const QString& nazione);
QString PartitaIvaErrata(const QString& partitaIva, Difetto d);
QString ProvinciaAssente(const QString& provincia);
QString DataInesistente(const QString& data);
// An identifier longer than its column: cut, it would be another one.
QString TroppoLungo(bool partitaIva, const QString& valore, int larghezza);

// The line against the clients stored and the lines before it.
QString CodiceMemorizzato(std::int32_t codice);
QString CodiceGiaInRiga(std::int32_t codice, qint64 riga);
QString NessunCodiceLibero();

// The client that already holds a fiscal code or VAT number: stored, or taken from an earlier
// line of the same list (`riga` > 0).
struct Detentore {
    std::int32_t codice = 0;
    QString nome;
    qint64 riga = 0;
    bool perPartitaIva = false;  // found among the VAT numbers, else among the fiscal codes
    QString valore;              // what it holds there
    qint64 altri = 0;            // further holders
};
QString CodiceFiscaleDi(const QString& codiceFiscale, const Detentore& d);
QString PartitaIvaDi(const QString& partitaIva, const Detentore& d);

// A reason as the rejects file gives it, with its line.
QString ConRiga(qint64 riga, const QString& motivo);
// Whether a text reads as such a reason.
bool DiUnaRiga(const QString& testo);

}  // namespace setup::motivo
