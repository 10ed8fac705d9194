#include "app/Dialetto.h"

#include "app/Motore.h"

#include <vector>

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

// A LIKE pattern of the dialect as an SQLite pattern: "*" is the only wildcard, every other
// character stands for itself. `escape` tells whether an ESCAPE clause is needed.
QString Modello(const QString& valore, bool& escape) {
    QString out;
    escape = false;
    for (QChar c : valore) {
        if (c == '*') {
            out += '%';
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

// The text a pattern must start with when its only wildcard is one "*" at the end; empty
// otherwise.
QString Prefisso(const QString& valore) {
    if (valore.size() < 2 || !valore.endsWith('*')) return QString();
    const QString prefisso = valore.chopped(1);
    return prefisso.contains('*') ? QString() : prefisso;
}

// Folded the way NOCASE folds: ASCII letters only, as LIKE does.
QString Minuscolo(const QString& s) {
    QString out = s;
    for (QChar& c : out)
        if (c >= 'A' && c <= 'Z') c = QChar(c.unicode() + 32);
    return out;
}

// A prefix LIKE as a range the column's case-blind index can seek, kept together with the
// LIKE itself, which alone decides: the range only narrows the rows to look at.
QString Intervallo(const QString& colonna, const QString& prefisso) {
    const QString basso = Minuscolo(prefisso);
    QString out = QStringLiteral(" AND ") + colonna + QStringLiteral(" COLLATE NOCASE >= ") +
                  Letterale(basso);
    const char16_t ultimo = basso.back().unicode();
    // Past the last character there is no next one to stop at; a surrogate half is no
    // character of its own.
    if (ultimo < 0xD800 || (ultimo > 0xDFFF && ultimo < 0xFFFF)) {
        QString alto = basso;
        alto.back() = QChar(char16_t(ultimo + 1));
        out += QStringLiteral(" AND ") + colonna + QStringLiteral(" COLLATE NOCASE < ") +
               Letterale(alto);
    }
    return out;
}

}  // namespace

QString TraduciSql(const QString& sql) {
    QString out;
    out.reserve(sql.size() + 16);
    QString ultimaParola;  // the last keyword or name, upper-cased
    // The name just before the last LIKE, and where it starts in the output: a prefix match
    // on it is rewritten whole.
    QString nome, colonnaLike;
    qsizetype inizioNome = -1, inizioLike = -1;
    bool qualificato = false;  // a "." right after a name
    // The prefix LIKEs, where their column name starts and where their range goes.
    struct Seek {
        qsizetype nome, dove;
        QString colonna, prefisso;
    };
    std::vector<Seek> seek;
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
                QString confronto = Letterale(Modello(valore, escape));
                if (escape) confronto += QStringLiteral(" ESCAPE '\\'");
                const QString prefisso = Prefisso(valore);
                if (inizioLike >= 0 && !prefisso.isEmpty()) {
                    out.truncate(inizioLike);
                    out += u'(';
                    const qsizetype nome = out.size();
                    out += colonnaLike + QStringLiteral(" LIKE ") + confronto;
                    seek.push_back({nome, out.size(), colonnaLike, prefisso});
                    out += u')';
                } else {
                    out += confronto;
                }
            } else {
                out += Letterale(valore);
            }
            ultimaParola.clear();
            inizioNome = inizioLike = -1;
            i = j + 1;
        } else if (c == '[' || CarattereNome(c)) {
            qsizetype j = i;
            if (c == '[') {
                // A bracketed name: copied whole, its content is never a literal.
                j = sql.indexOf(']', i);
                j = j < 0 ? n : j + 1;
            } else {
                while (j < n && CarattereNome(sql[j])) ++j;
            }
            const QString parola = sql.mid(i, j - i);
            const QString maiuscola = parola.toUpper();
            if (maiuscola == QLatin1String("LIKE")) {
                inizioLike = inizioNome;
                colonnaLike = nome;
            } else if (qualificato) {
                nome += u'.' + parola;  // table.column: one name
            } else if (c == '[' || maiuscola != QLatin1String("NOT")) {
                inizioNome = out.size();
                nome = parola;
            } else {
                inizioNome = -1;
            }
            ultimaParola = c == '[' ? QString() : maiuscola;
            qualificato = false;
            out += parola;
            i = j;
        } else {
            qualificato = c == '.' && inizioNome >= 0 && !qualificato;
            if (!c.isSpace()) {
                ultimaParola.clear();
                if (!qualificato) inizioNome = -1;
            }
            out += c;
            ++i;
        }
    }
    // Without statistics the engine cannot tell which of several prefixes is the narrowest
    // and may seek a one-digit CAP before a surname: the longest prefix gets its range, the
    // others are kept from any index by a unary plus, which leaves their values alone.
    size_t scelto = 0;
    for (size_t k = 1; k < seek.size(); ++k)
        if (seek[k].prefisso.size() > seek[scelto].prefisso.size()) scelto = k;
    for (size_t k = seek.size(); k-- > 0;) {
        if (k == scelto)
            out.insert(seek[k].dove, Intervallo(seek[k].colonna, seek[k].prefisso));
        else
            out.insert(seek[k].nome, u'+');
    }
    return out;
}

}  // namespace motore
