#pragma once

// Conversions between what the database holds and what the forms show. A null QVariant is
// the database's null. Dates travel as day numbers counted from 30/12/1899, so that
// 01/01/1900 is 2 and 01/01/2001 is 36892. Below the data layer, which reads with them.

#include <QDate>
#include <QString>
#include <QVariant>

QDate DataDaGiorno(qint64 giorno);
qint64 GiornoDaData(const QDate& data);

// Reads "d/m/y" (two-digit years: 00-29 are 20xx, 30-99 are 19xx). On success stores the day
// number in *giorno when given.
bool DataValida(const QString& testo, qint64* giorno = nullptr);

// The value as text, or the replacement (a single blank when none is given) when the value
// is null or blank.
QString TestoDaNull(const QVariant& valore, const QString& sostituto = QString());

// A number or the text of a number in the platform's notation: 0 for null, blank and
// non-numeric values; a day number for dates and date texts.
QVariant ValoreNumerico(const QVariant& valore);

// The nearest whole number of ValoreNumerico, halves to even; 0 when it does not fit.
qint32 InteroDa(const QVariant& valore);

// Turns the first decimal separator into the platform's one; blank gives "0".
QString SeparatoreDecimale(const QString& testo);

// Leading zeros up to `larghezza`, for non-zero numbers only.
QString RiempiZeri(const QString& testo, int larghezza);

// Leading blanks up to `larghezza`.
QString AllineaDestra(const QString& testo, int larghezza);

// Exactly `larghezza` UTF-16 units: cut, or padded with blanks. A character of two units
// that does not fit whole goes whole, never half of it.
QString AllaLarghezza(const QString& testo, int larghezza);

// Day ("dd"), month ("MM") and year ("yyyy") of a date, a day number or a date text; a single
// blank when the value is 0, null or not a date.
QString GiornoDi(const QVariant& valore);
QString MeseDi(const QVariant& valore);
QString AnnoDi(const QVariant& valore);

// Key filters for the boxes' key-press handlers: they rewrite the code and return it.
int TastoMaiuscolo(int& codice);
int TastoCifra(int& codice);
