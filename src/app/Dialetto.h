#pragma once

#include <QString>

namespace motore {

// Translates a query written in the forms' engine dialect into SQLite:
// - text literals may stand in single or double quotes, with the quote doubled inside;
//   both become single-quoted SQLite literals (double quotes are identifiers there);
// - a LIKE pattern uses "*" for any characters and "?" for one; "%" and "_" are ordinary
//   characters in it, so they are escaped;
// - everything else (keywords in any case, names, BETWEEN, ORDER BY) passes unchanged.
// Throws motore::Errore (syntax) on an unterminated literal.
QString TraduciSql(const QString& sql);

}  // namespace motore
