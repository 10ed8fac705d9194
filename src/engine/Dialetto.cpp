// The dialect's reader, shared by both engines: the query cut into pieces, its text
// comparisons and its order found, and the query written again from the pieces with an
// engine's replacements. Nothing here knows an engine's SQL; see Dialetto.h.

#include "engine/Dialetto.h"

#include "engine/Errori.h"
#include "engine/Sql.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace motore {

const SchemaTabella::Colonna* SchemaTabella::Trova(const QString& nome) const {
    for (const Colonna& c : colonne)
        if (c.nome.compare(nome, Qt::CaseInsensitive) == 0) return &c;
    return nullptr;
}

namespace dialetto {

namespace {

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

}  // namespace

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
            if (ParolaChiave(p[i], QLatin1String("OR"))) a.conOr = true;
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

void Ordina(const Analisi& a, const Schemi& schemi, bool voci, const ScriviVoce& voce,
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
        chiave << voce(QuotaNome(c->nome), *c, false);
    }
    if (!chiave.isEmpty())
        nuove.push_back({o.fine, o.fine,
                         (o.presente ? QStringLiteral(", ") : QStringLiteral(" ORDER BY ")) +
                             chiave.join(QStringLiteral(", "))});
    sostituzioni.insert(sostituzioni.end(), nuove.begin(), nuove.end());
}

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

QString Prefisso(const QString& valore) {
    if (valore.size() < 2 || !valore.endsWith('*')) return QString();
    const QString prefisso = valore.chopped(1);
    return prefisso.contains('*') ? QString() : prefisso;
}

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

// A last character with no next one has no text past it: a surrogate half is no character
// of its own.
QString OltreIlPrefisso(const QString& prefisso) {
    if (prefisso.isEmpty()) return QString();
    const char16_t ultimo = prefisso.back().unicode();
    if (!(ultimo < 0xD800 || (ultimo > 0xDFFF && ultimo < 0xFFFF))) return QString();
    QString alto = prefisso;
    alto.back() = QChar(char16_t(ultimo + 1));
    return alto;
}

QString OltreIBlank(const QString& testo) {
    for (QChar c : testo)
        if (c < ' ') return QString();
    return testo + '!';
}

QString NomeColonna(const QString& scritto) {
    QString nome = scritto.section('.', -1);
    if (nome.startsWith('[')) nome = nome.mid(1, nome.size() - 2);
    return nome;
}

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

}  // namespace dialetto

QString TestoConfrontato(const QString& testo) {
    return dialetto::Minuscolo(dialetto::SenzaBlankFinali(testo));
}

}  // namespace motore
