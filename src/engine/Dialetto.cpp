#include "engine/Dialetto.h"

#include "engine/Motore.h"

#include <algorithm>
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
    QString tabella;
    Ordine ordine;
};

bool Nome(const Pezzo& p) {
    return (p.tipo == Pezzo::Parola && !Riservata(p) && !p.testo.front().isDigit()) ||
           p.tipo == Pezzo::NomeQuadro;
}

bool Simbolo(const Pezzo& p, char c) {
    return p.tipo == Pezzo::Simbolo && p.testo == QLatin1Char(c);
}

// SELECT names or * FROM one table, then a WHERE, then an ORDER BY of names, each with its
// direction; nothing that joins, groups, computes or limits.
Ordine AnalizzaOrdine(const std::vector<Pezzo>& p) {
    Ordine o;
    const size_t n = p.size();
    auto salta = [&](size_t k) {
        while (k < n && p[k].tipo == Pezzo::Spazio) ++k;
        return k;
    };
    size_t i = salta(0);
    if (i == n || !ParolaChiave(p[i], QLatin1String("SELECT"))) return o;
    bool elemento = true;  // a column or * is expected next
    for (i = salta(i + 1); i < n && !ParolaChiave(p[i], QLatin1String("FROM")); i = salta(i + 1)) {
        const bool separatore = Simbolo(p[i], ',') || Simbolo(p[i], '.');
        const bool colonna = (Nome(p[i]) && !ParolaChiave(p[i], QLatin1String("DISTINCT")) &&
                              !ParolaChiave(p[i], QLatin1String("ALL")) &&
                              !ParolaChiave(p[i], QLatin1String("TOP"))) ||
                             Simbolo(p[i], '*');
        if (elemento ? !colonna : !separatore) return o;
        elemento = separatore;
    }
    if (i == n || elemento) return o;
    i = salta(i + 1);
    if (i == n || !Nome(p[i])) return o;
    size_t fine = ++i;
    i = salta(i);
    if (i < n && !ParolaChiave(p[i], QLatin1String("WHERE")) &&
        !ParolaChiave(p[i], QLatin1String("ORDER")))
        return o;
    int livello = 0;
    for (; i < n; ++i) {
        if (Simbolo(p[i], '(')) ++livello;
        if (Simbolo(p[i], ')')) --livello;
        if (p[i].tipo != Pezzo::Spazio) fine = i + 1;
        if (livello != 0 || p[i].tipo != Pezzo::Parola) continue;
        for (const char* parola : {"GROUP", "HAVING", "UNION", "INTERSECT", "EXCEPT", "LIMIT",
                                   "OFFSET", "FETCH", "FOR", "WINDOW", "JOIN"})
            if (ParolaChiave(p[i], QLatin1String(parola))) return o;
        if (ParolaChiave(p[i], QLatin1String("ORDER"))) break;
    }
    o.semplice = true;
    o.fine = fine;
    if (i == n) return o;
    o.presente = true;
    i = salta(i + 1);
    if (i == n || !ParolaChiave(p[i], QLatin1String("BY"))) {
        o.semplice = false;
        return o;
    }
    std::vector<Voce> voci;
    for (i = salta(i + 1);; i = salta(i + 1)) {
        if (i == n || !Nome(p[i])) return o;
        Voce v;
        v.da = i;
        v.colonna = p[i].testo;
        while (i + 2 < n && Simbolo(p[i + 1], '.') && Nome(p[i + 2])) {
            v.colonna += '.' + p[i + 2].testo;
            i += 2;
        }
        v.a = ++i;
        i = salta(i);
        if (i < n && (ParolaChiave(p[i], QLatin1String("ASC")) ||
                      ParolaChiave(p[i], QLatin1String("DESC")))) {
            v.discendente = ParolaChiave(p[i], QLatin1String("DESC"));
            v.a = ++i;
            i = salta(i);
        }
        voci.push_back(v);
        if (i == n) break;
        if (!Simbolo(p[i], ',')) return o;
    }
    o.voci = std::move(voci);
    o.fine = o.voci.back().a;
    return o;
}

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
    a.ordine = AnalizzaOrdine(a.pezzi);
    return a;
}

// A piece of the query written anew: the pieces from da to a (none, to insert) give way to
// the text.
struct Sostituzione {
    size_t da, a;
    QString testo;
};

// The order as an engine writes it: `voce` writes a column of the table, as it is written
// in the query, in a direction. Only the columns are written again when `voci`; the key
// always follows them.
void Ordina(const Analisi& a, const Schemi& schemi, bool voci,
            const std::function<QString(const QString& scritta, const SchemaTabella::Colonna&,
                                        bool discendente)>& voce,
            std::vector<Sostituzione>& sostituzioni) {
    const Ordine& o = a.ordine;
    if (!schemi || !o.semplice || (o.presente && o.voci.empty())) return;
    const SchemaTabella* t = schemi(a.tabella);
    if (!t) return;
    std::vector<const SchemaTabella::Colonna*> colonne;
    for (const Voce& v : o.voci) {
        const QString nome = v.colonna.section('.', -1);
        colonne.push_back(t->Trova(nome.startsWith('[') ? nome.mid(1, nome.size() - 2) : nome));
        if (!colonne.back()) return;  // a name the table does not have: an alias, or a mistake
    }
    std::vector<Sostituzione> nuove;
    QStringList presenti;
    // Once the whole key, never null, has been named, what follows cannot change the order;
    // left out, it costs the server nothing.
    auto Completa = [&] {
        for (const QString& k : t->chiave) {
            const SchemaTabella::Colonna* c = t->Trova(k);
            if (!c || c->nullabile || !presenti.contains(c->nome.toLower())) return false;
        }
        return !t->chiave.isEmpty();
    };
    for (size_t i = 0; i < o.voci.size(); ++i) {
        const Voce& v = o.voci[i];
        presenti << colonne[i]->nome.toLower();
        if (voci) nuove.push_back({v.da, v.a, voce(v.colonna, *colonne[i], v.discendente)});
        if (Completa()) {
            if (v.a < o.fine) nuove.push_back({v.a, o.fine, QString()});
            break;
        }
    }
    QStringList chiave;
    for (const QString& k : t->chiave) {
        const SchemaTabella::Colonna* c = t->Trova(k);
        if (!c || presenti.contains(c->nome.toLower())) continue;
        QString quotato = c->nome;
        quotato.replace('"', QStringLiteral("\"\""));
        chiave << voce('"' + quotato + '"', *c, false);
    }
    if (!chiave.isEmpty())
        nuove.push_back({o.fine, o.fine,
                         (o.presente ? QStringLiteral(", ") : QStringLiteral(" ORDER BY ")) +
                             chiave.join(QStringLiteral(", "))});
    sostituzioni.insert(sostituzioni.end(), nuove.begin(), nuove.end());
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

// A column of the ORDER BY: a text without its trailing blanks and in collation "C", so that
// the server's own collation does not count; nulls where the files have them. A column that
// cannot be null keeps the server's placement, which its indexes were made with.
QString VocePg(const QString& scritta, const SchemaTabella::Colonna& c, bool discendente) {
    QString out = ColonnaPg(scritta);
    if (c.testo) out = QStringLiteral("rtrim(") + out + QStringLiteral(") COLLATE \"C\"");
    out += discendente ? QStringLiteral(" DESC") : QStringLiteral(" ASC");
    if (c.nullabile)
        out += discendente ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST");
    return out;
}

// The query written again: the replacements where they stand, every other piece as the
// engine wants it.
QString Riscrivi(const std::vector<Pezzo>& pezzi, std::vector<Sostituzione> sostituzioni,
                 const std::function<QString(const Pezzo&)>& pezzo) {
    std::stable_sort(sostituzioni.begin(), sostituzioni.end(),
                     [](const Sostituzione& x, const Sostituzione& y) { return x.da < y.da; });
    QString out;
    size_t i = 0, k = 0;
    for (;;) {
        if (k < sostituzioni.size() && sostituzioni[k].da == i) {
            out += sostituzioni[k].testo;
            i = sostituzioni[k++].a;
            continue;
        }
        if (i >= pezzi.size()) break;
        out += pezzo(pezzi[i++]);
    }
    return out;
}

}  // namespace

const SchemaTabella::Colonna* SchemaTabella::Trova(const QString& nome) const {
    for (const Colonna& c : colonne)
        if (c.nome.compare(nome, Qt::CaseInsensitive) == 0) return &c;
    return nullptr;
}

QString TraduciPerPostgres(const QString& sql, const Schemi& schemi) {
    const Analisi a = Analizza(sql);
    std::vector<Sostituzione> sostituzioni;
    for (const Confronto& c : a.confronti) sostituzioni.push_back({c.da, c.a, ConfrontoPg(c)});
    Ordina(a, schemi, true, VocePg, sostituzioni);
    return Riscrivi(a.pezzi, sostituzioni, [](const Pezzo& p) {
        return p.tipo == Pezzo::Letterale ? LetteralePg(p.valore) : NomePg(p);
    });
}

QString TraduciPerSqlite(const QString& sql, const IndiceCercabile& cercabile,
                         const Schemi& schemi) {
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
    std::vector<Sostituzione> sostituzioni;
    for (const Confronto& c : a.confronti)
        sostituzioni.push_back(
            {c.da, c.a, ConfrontoSqlite(c, &c == scelto, scelto && &c != scelto)});
    // The columns' collation orders texts without their trailing blanks, and the engine puts
    // nulls first: only the key is added.
    Ordina(
        a, schemi, false,
        [](const QString& scritta, const SchemaTabella::Colonna&, bool discendente) {
            return scritta + (discendente ? QStringLiteral(" DESC") : QString());
        },
        sostituzioni);
    return Riscrivi(a.pezzi, sostituzioni, [](const Pezzo& p) {
        return p.tipo == Pezzo::Letterale ? Letterale(p.valore) : p.testo;
    });
}

QString TestoConfrontato(const QString& testo) {
    return Minuscolo(SenzaBlankFinali(testo));
}

}  // namespace motore
