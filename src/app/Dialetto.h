#pragma once

#include <QString>

namespace motore {

// Translates a query written in the forms' engine dialect into SQLite:
// - text literals may stand in single or double quotes, with the quote doubled inside;
//   both become single-quoted SQLite literals (double quotes are identifiers there);
// - a LIKE pattern uses "*" for any characters; every other character, "?", "#", "[", "%"
//   and "_" included, stands for itself;
// - "column LIKE 'prefix*'" also gets the range of the prefix on the column compared case
//   blind, so that an index on the column with NOCASE can seek it; the LIKE stays and alone
//   decides which rows match;
// - everything else (keywords in any case, names, BETWEEN, ORDER BY) passes unchanged.
// Throws motore::Errore (syntax) on an unterminated literal.
QString TraduciSql(const QString& sql);

}  // namespace motore
