#pragma once

// The forms' dialect (engine/Dialetto.h) as SQLite reads it, with the same meaning:
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
// - the ORDER BY keeps its columns, whose collation (RTRIM) already orders as the dialect
//   says, and gets the key after them;
// - everything else (keywords in any case, names) passes unchanged.

#include "engine/Dialetto.h"

namespace motore::sqlite {

// Throws motore::Errore (syntax) on an unterminated literal.
QString Traduci(const QString& sql, const IndiceCercabile& cercabile = {},
                const Schemi& schemi = {});

}  // namespace motore::sqlite
