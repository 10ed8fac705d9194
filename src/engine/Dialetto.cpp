#include "engine/Dialetto.h"

#include "engine/Motore.h"

#include <functional>
#include <vector>

namespace motore {

namespace {

// One piece of the query text as the dialect sees it.
struct Pezzo {
    enum Tipo { Parola, NomeQuadro, Letterale, Spazio, Simbolo } tipo;
    QString testo;   // as written
    QString valore;  // a literal's value, quotes undone
};

bool CarattereNome(QChar c) {
    return c.isLetterOrNumber() || c == '_';
}

std::vector<Pezzo> Scomponi(const QString& sql) {
    std::vector<Pezzo> pezzi;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        qsizetype j = i + 1;
        if (c == '\'' || c == '"') {
            QString valore;
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
            ++j;
            pezzi.push_back({Pezzo::Letterale, sql.mid(i, j - i), valore});
        } else if (c == '[') {
            // A bracketed name: copied whole, its content is never a literal.
            j = sql.indexOf(']', i);
            j = j < 0 ? n : j + 1;
            pezzi.push_back({Pezzo::NomeQuadro, sql.mid(i, j - i), {}});
        } else if (CarattereNome(c)) {
            while (j < n && CarattereNome(sql[j])) ++j;
            pezzi.push_back({Pezzo::Parola, sql.mid(i, j - i), {}});
        } else if (c.isSpace()) {
            while (j < n && sql[j].isSpace()) ++j;
            pezzi.push_back({Pezzo::Spazio, sql.mid(i, j - i), {}});
        } else {
            pezzi.push_back({Pezzo::Simbolo, QString(c), {}});
        }
        i = j;
    }
    return pezzi;
}

bool ParolaChiave(const Pezzo& p, QLatin1String parola) {
    return p.tipo == Pezzo::Parola && p.testo.compare(parola, Qt::CaseInsensitive) == 0;
}

bool Riservata(const Pezzo& p) {
    static const char* const kRiservate[] = {"AND",  "OR",   "NOT",     "WHERE", "SELECT",
                                             "FROM", "BY",   "ON",      "IS",    "IN",
                                             "NULL", "LIKE", "BETWEEN", "ORDER"};
    for (const char* r : kRiservate)
        if (ParolaChiave(p, QLatin1String(r))) return true;
    return false;
}

// A text comparison of a column with literals, which each engine writes its own way.
struct Confronto {
    enum Tipo { Like, Uguale, Tra } tipo;
    bool negato = false;  // NOT LIKE
    QString colonna;      // as written, qualified or bracketed
    QString valore, fino;
    size_t da = 0, a = 0;  // the pieces it replaces
};

// The query's text comparisons, in order, and the table its FROM names first.
struct Analisi {
    std::vector<Pezzo> pezzi;
    std::vector<Confronto> confronti;
    QString tabella;
};

Analisi Analizza(const QString& sql) {
    Analisi a;
    a.pezzi = Scomponi(sql);
    const auto& p = a.pezzi;
    const size_t n = p.size();
    auto salta = [&](size_t k) {
        while (k < n && p[k].tipo == Pezzo::Spazio) ++k;
        return k;
    };
    bool dopoFrom = false;
    for (size_t i = 0; i < n;) {
        const bool nome =
            (p[i].tipo == Pezzo::Parola && !Riservata(p[i])) || p[i].tipo == Pezzo::NomeQuadro;
        if (!nome) {
            if (ParolaChiave(p[i], QLatin1String("FROM"))) dopoFrom = true;
            ++i;
            continue;
        }
        // table.column is one name.
        QString colonna = p[i].testo;
        size_t k = i + 1;
        while (k + 1 < n && p[k].tipo == Pezzo::Simbolo && p[k].testo == QLatin1String(".") &&
               (p[k + 1].tipo == Pezzo::Parola || p[k + 1].tipo == Pezzo::NomeQuadro)) {
            colonna += '.' + p[k + 1].testo;
            k += 2;
        }
        if (dopoFrom && a.tabella.isEmpty()) a.tabella = colonna;
        dopoFrom = false;
        Confronto c;
        size_t m = salta(k);
        if (m < n && ParolaChiave(p[m], QLatin1String("NOT"))) {
            c.negato = true;
            m = salta(m + 1);
        }
        if (m < n && ParolaChiave(p[m], QLatin1String("LIKE"))) {
            m = salta(m + 1);
            if (m < n && p[m].tipo == Pezzo::Letterale) {
                c.tipo = Confronto::Like;
                c.valore = p[m].valore;
                c.a = m + 1;
            }
        } else if (!c.negato && m < n && p[m].tipo == Pezzo::Simbolo && p[m].testo == "=" &&
                   !(m + 1 < n && p[m + 1].tipo == Pezzo::Simbolo)) {
            m = salta(m + 1);
            if (m < n && p[m].tipo == Pezzo::Letterale) {
                c.tipo = Confronto::Uguale;
                c.valore = p[m].valore;
                c.a = m + 1;
            }
        } else if (!c.negato && m < n && ParolaChiave(p[m], QLatin1String("BETWEEN"))) {
            const size_t basso = salta(m + 1);
            const size_t e = salta(basso + 1);
            const size_t alto = salta(e + 1);
            if (alto < n && p[basso].tipo == Pezzo::Letterale &&
                ParolaChiave(p[e], QLatin1String("AND")) && p[alto].tipo == Pezzo::Letterale) {
                c.tipo = Confronto::Tra;
                c.valore = p[basso].valore;
                c.fino = p[alto].valore;
                c.a = alto + 1;
            }
        }
        if (c.a > 0) {
            c.da = i;
            c.colonna = colonna;
            a.confronti.push_back(c);
            i = c.a;
        } else {
            i = k;
        }
    }
    return a;
}

// ---------------------------------------------------------------------------------------
// SQLite

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

QString SenzaBlankFinali(const QString& s) {
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return s.left(n);
}

// The text just past every text that starts with `prefisso`; null when there is none (a
// last character with no next one: a surrogate half is no character of its own).
QString OltreIlPrefisso(const QString& prefisso) {
    if (prefisso.isEmpty()) return QString();
    const char16_t ultimo = prefisso.back().unicode();
    if (!(ultimo < 0xD800 || (ultimo > 0xDFFF && ultimo < 0xFFFF))) return QString();
    QString alto = prefisso;
    alto.back() = QChar(char16_t(ultimo + 1));
    return alto;
}

// The text just past every text that is `testo` followed by blanks; null when a character
// below the blank makes such a bound wrong.
QString OltreIBlank(const QString& testo) {
    for (QChar c : testo)
        if (c < ' ') return QString();
    return testo + '!';
}

// How narrow a comparison's rows are likely to be: the one to seek.
int Peso(const Confronto& c) {
    if (c.tipo == Confronto::Uguale) return 3;
    if (c.tipo == Confronto::Tra) return 2;
    return c.negato || Prefisso(c.valore).isEmpty() ? 0 : 1;
}

QString NomeColonna(const QString& scritto) {
    QString nome = scritto.section('.', -1);
    if (nome.startsWith('[')) nome = nome.mid(1, nome.size() - 2);
    return nome;
}

// The range [basso, alto) of the column compared case blind; an empty alto leaves it open.
QString IntervalloNocase(const QString& colonna, const QString& basso, const QString& alto) {
    QString out = QStringLiteral(" AND ") + colonna + QStringLiteral(" COLLATE NOCASE >= ") +
                  Letterale(Minuscolo(basso));
    if (!alto.isNull())
        out += QStringLiteral(" AND ") + colonna + QStringLiteral(" COLLATE NOCASE < ") +
               Letterale(Minuscolo(alto));
    return out;
}

QString ConfrontoSqlite(const Confronto& c, bool seek, bool escluso) {
    const QString& col = c.colonna;
    switch (c.tipo) {
        case Confronto::Like: {
            bool escape = false;
            QString confronto = Letterale(Modello(c.valore, escape));
            if (escape) confronto += QStringLiteral(" ESCAPE '\\'");
            const QString prefisso = Prefisso(c.valore);
            if (c.negato || prefisso.isEmpty())
                return col + (c.negato ? QStringLiteral(" NOT LIKE ") : QStringLiteral(" LIKE ")) +
                       confronto;
            // A unary plus, which leaves the values alone, keeps the engine from seeking a
            // column other than the one chosen.
            if (escluso)
                return QStringLiteral("(+") + col + QStringLiteral(" LIKE ") + confronto + ')';
            QString out = '(' + col + QStringLiteral(" LIKE ") + confronto;
            if (seek) out += IntervalloNocase(col, prefisso, OltreIlPrefisso(Minuscolo(prefisso)));
            return out + ')';
        }
        case Confronto::Uguale: {
            const QString x = SenzaBlankFinali(c.valore);
            const QString uguale = QStringLiteral("rtrim(") + col + QStringLiteral(") = ") +
                                   Letterale(x) + QStringLiteral(" COLLATE NOCASE");
            if (!seek) return uguale;
            return '(' + uguale + IntervalloNocase(col, x, OltreIBlank(x)) + ')';
        }
        case Confronto::Tra: {
            const QString basso = SenzaBlankFinali(c.valore), alto = SenzaBlankFinali(c.fino);
            const QString tra = QStringLiteral("rtrim(") + col +
                                QStringLiteral(") COLLATE NOCASE BETWEEN ") + Letterale(basso) +
                                QStringLiteral(" AND ") + Letterale(alto);
            if (!seek) return tra;
            return '(' + tra + IntervalloNocase(col, basso, OltreIBlank(alto)) + ')';
        }
    }
    return QString();
}

// ---------------------------------------------------------------------------------------
// PostgreSQL

QString LetteralePg(const QString& valore) {
    if (valore.contains(QChar(0)))
        throw Errore(ErrSintassi,
                     QStringLiteral("Carattere non valido (NUL) in un testo della query."));
    QString s = valore;
    s.replace('\'', QStringLiteral("''"));
    if (!s.contains('\\')) return '\'' + s + '\'';
    s.replace('\\', QStringLiteral("\\\\"));
    return QStringLiteral("E'") + s + '\'';
}

QString NomePg(const Pezzo& p) {
    if (p.tipo != Pezzo::NomeQuadro) return p.testo;
    QString nome = p.testo.mid(1, p.testo.endsWith(']') ? p.testo.size() - 2 : p.testo.size() - 1);
    nome.replace('"', QStringLiteral("\"\""));
    return '"' + nome.toLower() + '"';
}

QString ColonnaPg(const QString& scritta) {
    QString out;
    for (const QString& parte : scritta.split('.')) {
        if (!out.isEmpty()) out += '.';
        out += parte.startsWith('[') ? NomePg({Pezzo::NomeQuadro, parte, {}}) : parte;
    }
    return out;
}

QString ConfrontoPg(const Confronto& c) {
    const QString col = ColonnaPg(c.colonna) + QStringLiteral("::text");
    // What the search indexes hold: the value without its trailing blanks, in lower case.
    const QString chiave =
        QStringLiteral("lower(rtrim(") + col + QStringLiteral(")) COLLATE \"C\"");
    switch (c.tipo) {
        case Confronto::Like: {
            bool escape = false;
            // The server's LIKE escapes with a backslash unless told otherwise.
            const QString like =
                QStringLiteral("lower(") + col +
                (c.negato ? QStringLiteral(") NOT LIKE ") : QStringLiteral(") LIKE ")) +
                LetteralePg(Minuscolo(Modello(c.valore, escape)));
            const QString prefisso = Minuscolo(SenzaBlankFinali(Prefisso(c.valore)));
            if (c.negato || prefisso.isEmpty()) return like;
            QString out = '(' + like + QStringLiteral(" AND ") + chiave + QStringLiteral(" >= ") +
                          LetteralePg(prefisso);
            const QString alto = OltreIlPrefisso(prefisso);
            if (!alto.isNull())
                out += QStringLiteral(" AND ") + chiave + QStringLiteral(" < ") + LetteralePg(alto);
            return out + ')';
        }
        case Confronto::Uguale:
            return chiave + QStringLiteral(" = ") +
                   LetteralePg(Minuscolo(SenzaBlankFinali(c.valore)));
        case Confronto::Tra:
            return chiave + QStringLiteral(" BETWEEN ") +
                   LetteralePg(Minuscolo(SenzaBlankFinali(c.valore))) + QStringLiteral(" AND ") +
                   LetteralePg(Minuscolo(SenzaBlankFinali(c.fino)));
    }
    return QString();
}

// The query written again: each comparison and every other piece as the engine wants them.
QString Riscrivi(const Analisi& a, const std::function<QString(const Confronto&)>& confronto,
                 const std::function<QString(const Pezzo&)>& pezzo) {
    QString out;
    size_t prossimo = 0;
    for (size_t i = 0; i < a.pezzi.size();) {
        if (prossimo < a.confronti.size() && a.confronti[prossimo].da == i) {
            const Confronto& c = a.confronti[prossimo++];
            out += confronto(c);
            i = c.a;
            continue;
        }
        out += pezzo(a.pezzi[i++]);
    }
    return out;
}

}  // namespace

QString TraduciPerPostgres(const QString& sql) {
    return Riscrivi(Analizza(sql), ConfrontoPg, [](const Pezzo& p) {
        return p.tipo == Pezzo::Letterale ? LetteralePg(p.valore) : NomePg(p);
    });
}

QString TraduciPerSqlite(const QString& sql, const IndiceCercabile& cercabile) {
    const Analisi a = Analizza(sql);
    // Without statistics the engine cannot tell which of several comparisons is the
    // narrowest and may seek a one-digit CAP before a surname: one comparison gets its range,
    // the others are kept from any index.
    const Confronto* scelto = nullptr;
    for (const Confronto& c : a.confronti) {
        if (Peso(c) == 0 || (cercabile && !cercabile(a.tabella, NomeColonna(c.colonna)))) continue;
        if (!scelto || Peso(c) > Peso(*scelto) ||
            (Peso(c) == Peso(*scelto) && c.valore.size() > scelto->valore.size()))
            scelto = &c;
    }
    return Riscrivi(
        a,
        [&](const Confronto& c) {
            return ConfrontoSqlite(c, &c == scelto, scelto && &c != scelto);
        },
        [](const Pezzo& p) { return p.tipo == Pezzo::Letterale ? Letterale(p.valore) : p.testo; });
}

QString TestoConfrontato(const QString& testo) {
    return Minuscolo(SenzaBlankFinali(testo));
}

}  // namespace motore
