#pragma once

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

// Translates a query written in the forms' engine dialect into SQLite:
// - text literals may stand in single or double quotes, with the quote doubled inside;
//   both become single-quoted SQLite literals (double quotes are identifiers there);
// - a LIKE pattern uses "*" for any characters; every other character, "?", "#", "[", "%"
//   and "_" included, stands for itself;
// - text comparisons ignore case (ASCII letters, as LIKE does) and trailing blanks:
//   "column = 'x'" and "column BETWEEN 'a' AND 'b'" are written on the trimmed column
//   compared case blind;
// - the comparison with the narrowest values (an equality before a BETWEEN before a prefix
//   LIKE, then the longest text) also gets its range on the column compared case blind,
//   so that an index on the column with NOCASE can seek it; the comparison itself stays and
//   alone decides which rows match. Only columns `cercabile` accepts get one, when given;
// - the ORDER BY keeps its columns, whose collation (RTRIM) already orders as above, and
//   gets the key after them;
// - everything else (keywords in any case, names) passes unchanged.
// Throws motore::Errore (syntax) on an unterminated literal.
QString TraduciPerSqlite(const QString& sql, const IndiceCercabile& cercabile = {},
                         const Schemi& schemi = {});

// The same query for PostgreSQL, with the same meaning:
// - every literal is written again as a standard string, or as an escape string (E'')
//   when it holds a backslash, so that it means the same whatever the server's
//   standard_conforming_strings; a NUL character, which the server cannot take, is a
//   syntax error;
// - a bracketed name becomes a quoted name in lower case, as unquoted names fold;
// - LIKE compares the column folded to lower case (ASCII letters, the columns being of
//   collation "C"); "=" and BETWEEN compare lower(rtrim(column)) in collation "C", and a
//   prefix LIKE also gets its range on that expression, which the setup's search indexes
//   hold, so that the server can seek them;
// - the ORDER BY sorts a text column as rtrim(column) in collation "C", whatever the
//   server's own, with its nulls placed as above (a column that cannot be null keeps the
//   server's placement, as its indexes do), and gets the key after its columns.
QString TraduciPerPostgres(const QString& sql, const Schemi& schemi = {});

// What "=" and BETWEEN compare of a text on both engines: the text without its trailing
// blanks, ASCII letters in lower case, ordered by code point (as its UTF-8 bytes are).
QString TestoConfrontato(const QString& testo);

}  // namespace motore
