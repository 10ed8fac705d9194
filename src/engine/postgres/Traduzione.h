#pragma once

// The forms' dialect (engine/Dialetto.h) as the server reads it, with the same meaning:
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
//   server's own, with its nulls placed as the dialect says (a column that cannot be null
//   keeps the server's placement, as its indexes do), and gets the key after its columns.

#include "engine/Dialetto.h"

namespace motore::postgres {

QString Traduci(const QString& sql, const Schemi& schemi = {});

}  // namespace motore::postgres
