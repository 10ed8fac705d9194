#pragma once

// The rules a client's fields follow on their way into Clienti, whoever brings them: the
// client form, as the operator leaves a field or saves, and the import of a client list.

#include "data/ClientRecord.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <optional>

// What is wrong with a fiscal code or a VAT number, for the reason given.
enum class Difetto { Nessuno, Lunghezza, Controllo, Ufficio };

// The check character of a fiscal code from its first 15 characters; null unless they are 15
// capitals and digits.
QChar CarattereControlloCF(QStringView primi15);

// The check digit of a VAT number from its first 10 digits; -1 unless they are 10 digits.
int CifraControlloPartitaIva(QStringView primeDieci);

// Empty; 16 characters, the last the check character of the others; or the 11 digits of a
// company, as a VAT number. With `cifre` false only the length counts: 16 characters or
// more, or 11 digits.
Difetto DifettoCodiceFiscale(const QString& codiceFiscale, bool cifre);

// An Italian VAT number (`nazione` exactly "IT", as the form holds it) has 11 characters and,
// with `cifre`, is a valid number; others are not looked at.
Difetto DifettoPartitaIva(const QString& partitaIva, const QString& nazione, bool cifre);

// Where the form looks for the other clients that hold a fiscal code or a VAT number: a key
// that is a number among the VAT numbers, any other among the fiscal codes; of a text with a
// blank only the first word counts, its blank included. A whole key (11 digits, or 16
// characters and more) must be equal to theirs; a shorter one is the range from the key and
// a blank to the key and "zzz". Both compared as the engine's "=" and BETWEEN compare.
// An 11-digit number names one company whether it is kept as its VAT number or as its
// fiscal code (a company's fiscal code is its VAT number): it is looked for in both columns.
struct RicercaDetentori {
    bool perPartitaIva = false;
    bool intera = false;
    QString da, a;            // the key, twice when it is whole
    QString Colonna() const;  // the one the list is sorted by
    bool InEntrambe() const { return perPartitaIva && intera; }
};
RicercaDetentori DetentoriDi(const QString& valore);

// The nation a client is stored with: none means Italy, otherwise the ISO code that
// `codiceIso` finds for a nation number or ISO code; "" when it finds none.
QString NazioneCliente(const QString& nazione, const std::function<QString(QString&)>& codiceIso);

// Letters as the boxes take them from the keyboard: a to z become capitals, accented
// letters stay as they are.
QString Maiuscole(QString testo);

// The exemption date's day number from its day, month and year, read as the form reads its
// three boxes; nullopt when they make no date.
std::optional<std::int32_t> GiornoEsenzione(const QString& giorno, const QString& mese,
                                            const QString& anno);

// What a save does once the fields are in the record: a foreign client's only identifier,
// typed as fiscal code, becomes its VAT number when it fits; a blank acronym takes the
// name's first 20 characters.
void CompletaCliente(ClientRecord& r);
