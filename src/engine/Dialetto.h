#pragma once

// The dialect the forms write their queries in, read once for every engine: its pieces
// (names, bracketed names, literals in single or double quotes), its text comparisons of a
// column with literals (LIKE with "*" its only wildcard, "=", BETWEEN), and its ORDER BY.
// Each engine writes the comparisons and the order again its own way (its Traduzione) and
// passes every other piece through, so that what an operator types into a literal never
// changes a query. What both engines mean by a comparison is said here.

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace motore {

// Tells whether a column of a table has an index that compares it case blind, so that a
// range on it can be sought (table and column as the query spells them).
using IndiceCercabile = std::function<bool(const QString& tabella, const QString& colonna)>;

// What the dialect needs to know of a table to write a query's order.
struct SchemaTabella {
    struct Colonna {
        QString nome;  // as stored
        bool testo = false;
        bool nullabile = true;
    };
    std::vector<Colonna> colonne;
    // The columns of the key (the index primaria, else the first unique index), in order;
    // empty when the table has none.
    QStringList chiave;

    const Colonna* Trova(const QString& nome) const;  // case blind
};
// The table a query names; null when there is no such table.
using Schemi = std::function<const SchemaTabella*(const QString& tabella)>;

// The order every engine gives a query on one table, when it is told the table's schema:
// - texts compare byte by byte (capitals, then small letters, then accented letters),
//   trailing blanks aside: "X" and "X  " are equal, and so are "" and blanks;
// - nulls come first in an ascending order and last in a descending one;
// - rows the ORDER BY leaves equal follow the table's key, ascending; a query with no
//   ORDER BY lists its rows in the key's order.
// A query that joins, groups or computes its columns keeps the order it is written with.
//
// What "=" and BETWEEN compare of a text on both engines: the text without its trailing
// blanks, ASCII letters in lower case, ordered by code point (as its UTF-8 bytes are).
QString TestoConfrontato(const QString& testo);

// The reading of a query, for the engines' translations.
namespace dialetto {

// One piece of the query text as the dialect sees it.
struct Pezzo {
    enum Tipo { Parola, NomeQuadro, Letterale, Spazio, Simbolo } tipo;
    QString testo;   // as written
    QString valore;  // a literal's value, quotes undone
};

// A text comparison of a column with literals, which each engine writes its own way.
struct Confronto {
    enum Tipo { Like, Uguale, Tra } tipo;
    bool negato = false;  // NOT LIKE
    QString colonna;      // as written, qualified or bracketed
    QString valore, fino;
    size_t da = 0, a = 0;  // the pieces it replaces
};

// One column of an ORDER BY.
struct Voce {
    QString colonna;  // as written
    bool discendente = false;
    size_t da = 0, a = 0;  // the pieces it replaces
};

// The order of a query, which the engines may write again only when the query reads one
// table by the names of its columns.
struct Ordine {
    bool semplice = false;
    bool presente = false;   // it has an ORDER BY
    std::vector<Voce> voci;  // empty when its ORDER BY is not a list of names
    size_t fine = 0;         // where the key goes: after the last column, or at the end
};

// The query's text comparisons, in order, the table its FROM names first, and its order.
struct Analisi {
    std::vector<Pezzo> pezzi;
    std::vector<Confronto> confronti;
    bool conOr = false;  // an OR joins some of them: a row may satisfy any one alone
    QString tabella;
    Ordine ordine;
};

// Throws motore::Errore (syntax) on an unterminated literal.
Analisi Analizza(const QString& sql);

// A piece of the query written anew: the pieces from da to a (none, to insert) give way to
// the text.
struct Sostituzione {
    size_t da, a;
    QString testo;
};

// Writes a column of the table, as the query writes it, in a direction.
using ScriviVoce =
    std::function<QString(const QString& scritta, const SchemaTabella::Colonna&, bool discendente)>;
// The order as an engine writes it: only the columns are written again when `voci`; the
// table's key always follows them (see the order above).
void Ordina(const Analisi& a, const Schemi& schemi, bool voci, const ScriviVoce& voce,
            std::vector<Sostituzione>& sostituzioni);
// The query written again: the replacements where they stand, every other piece as the
// engine wants it.
QString Riscrivi(const std::vector<Pezzo>& pezzi, std::vector<Sostituzione> sostituzioni,
                 const std::function<QString(const Pezzo&)>& pezzo);

// A LIKE pattern of the dialect with "%" for its "*", the only wildcard; "%", "_" and "\"
// escaped with a backslash, and `escape` set, when it holds them.
QString Modello(const QString& valore, bool& escape);
// The text a pattern must start with when its only wildcard is one "*" at the end; empty
// otherwise.
QString Prefisso(const QString& valore);
// ASCII letters in lower case, as LIKE and NOCASE fold them.
QString Minuscolo(const QString& s);
QString SenzaBlankFinali(const QString& s);
// The text just past every text that starts with `prefisso`; null when there is none.
QString OltreIlPrefisso(const QString& prefisso);
// The text just past every text that is `testo` followed by blanks; null when a character
// below the blank makes such a bound wrong.
QString OltreIBlank(const QString& testo);
// A column's name without its table and brackets.
QString NomeColonna(const QString& scritto);

}  // namespace dialetto
}  // namespace motore
