#include "app/Dialetto.h"

#include "app/Motore.h"

namespace motore {

namespace {

bool CarattereNome(QChar c) {
    return c.isLetterOrNumber() || c == '_';
}

QString Letterale(const QString& valore) {
    QString s = valore;
    s.replace('\'', QStringLiteral("''"));
    return '\'' + s + '\'';
}

// A LIKE pattern of the dialect as an SQLite pattern; `escape` tells whether an ESCAPE
// clause is needed.
QString Modello(const QString& valore, bool& escape) {
    QString out;
    escape = false;
    for (QChar c : valore) {
        if (c == '*') {
            out += '%';
        } else if (c == '?') {
            out += '_';
        } else if (c == '%' || c == '_' || c == '\\') {
            out += '\\';
            out += c;
            escape = true;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

QString TraduciSql(const QString& sql) {
    QString out;
    out.reserve(sql.size() + 16);
    QString ultimaParola;  // the last keyword or name, upper-cased
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        if (c == '\'' || c == '"') {
            QString valore;
            qsizetype j = i + 1;
            bool chiuso = false;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        valore += c;
                        j += 2;
                        continue;
                    }
                    chiuso = true;
                    break;
                }
                valore += sql[j++];
            }
            if (!chiuso)
                throw Errore(ErrSintassi, QStringLiteral("Errore di sintassi (stringa non "
                                                         "terminata) nell'espressione della "
                                                         "query '%1'.")
                                              .arg(sql));
            if (ultimaParola == QLatin1String("LIKE")) {
                bool escape = false;
                out += Letterale(Modello(valore, escape));
                if (escape) out += QStringLiteral(" ESCAPE '\\'");
            } else {
                out += Letterale(valore);
            }
            ultimaParola.clear();
            i = j + 1;
        } else if (c == '[') {
            // A bracketed name: copied whole, its content is never a literal.
            qsizetype j = sql.indexOf(']', i);
            if (j < 0) j = n - 1;
            out += sql.mid(i, j - i + 1);
            ultimaParola.clear();
            i = j + 1;
        } else if (CarattereNome(c)) {
            qsizetype j = i;
            while (j < n && CarattereNome(sql[j])) ++j;
            ultimaParola = sql.mid(i, j - i).toUpper();
            out += sql.mid(i, j - i);
            i = j;
        } else {
            if (!c.isSpace()) ultimaParola.clear();
            out += c;
            ++i;
        }
    }
    return out;
}

}  // namespace motore
