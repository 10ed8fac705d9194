#pragma once

// The SQL text both engines write alike, written once: a name and a text quoted, the
// insert and the update of a table recordset's row, the condition of a seek. Each engine
// adds only what is its own: its placeholders ("?1" on files, "$1" on the server) and how it
// names the row it stands on.

#include <QChar>
#include <QString>
#include <QStringList>

namespace motore {

// A name as a quoted identifier: "a""b".
QString QuotaNome(const QString& nome);
// A text as a standard string literal: 'l''alba'.
QString QuotaTesto(const QString& valore);
// The placeholder of the `numero`th parameter, 1 first, written with `segno` ('?' or '$').
QString Segnaposto(QChar segno, int numero);

// INSERT INTO "tabella" ("a", "b") VALUES (?1, ?2); DEFAULT VALUES when no column is given.
QString TestoInserimento(const QString& tabella, const QStringList& colonne, QChar segno);
// UPDATE "tabella" SET "a" = ?1, "b" = ?2, without its WHERE: the engine names the row, with
// the placeholder that follows the columns'.
QString TestoAggiornamento(const QString& tabella, const QStringList& colonne, QChar segno);

// A seek's WHERE: each key equal, or the keys together as a row value compared with op,
// which an index on them serves.
QString CondizioneSeek(const QString& op, const QStringList& chiavi, const QStringList& segnaposto);

}  // namespace motore
