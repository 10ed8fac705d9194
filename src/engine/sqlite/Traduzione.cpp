// The forms' dialect written as SQLite: see Traduzione.h for what it promises. The one
// choice of its own is the index: SQLite keeps no statistics, so the translation picks the
// comparison to seek and keeps the engine from the others.

#include "engine/sqlite/Traduzione.h"

#include "engine/Sql.h"

namespace motore::sqlite {

using namespace dialetto;

namespace {

// How narrow a comparison's rows are likely to be: the one to seek.
int Peso(const Confronto& c) {
    if (c.tipo == Confronto::Uguale) return 3;
    if (c.tipo == Confronto::Tra) return 2;
    return c.negato || Prefisso(c.valore).isEmpty() ? 0 : 1;
}

// The range [basso, alto) of the column compared case blind; an empty alto leaves it open.
QString IntervalloNocase(const QString& colonna, const QString& basso, const QString& alto) {
    QString out = QStringLiteral(" AND ") + colonna + QStringLiteral(" COLLATE NOCASE >= ") +
                  QuotaTesto(Minuscolo(basso));
    if (!alto.isNull())
        out += QStringLiteral(" AND ") + colonna + QStringLiteral(" COLLATE NOCASE < ") +
               QuotaTesto(Minuscolo(alto));
    return out;
}

QString ConfrontoSqlite(const Confronto& c, bool seek, bool escluso) {
    const QString& col = c.colonna;
    switch (c.tipo) {
        case Confronto::Like: {
            bool escape = false;
            QString confronto = QuotaTesto(Modello(c.valore, escape));
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
                                   QuotaTesto(x) + QStringLiteral(" COLLATE NOCASE");
            if (!seek) return uguale;
            return '(' + uguale + IntervalloNocase(col, x, OltreIBlank(x)) + ')';
        }
        case Confronto::Tra: {
            const QString basso = SenzaBlankFinali(c.valore), alto = SenzaBlankFinali(c.fino);
            const QString tra = QStringLiteral("rtrim(") + col +
                                QStringLiteral(") COLLATE NOCASE BETWEEN ") + QuotaTesto(basso) +
                                QStringLiteral(" AND ") + QuotaTesto(alto);
            if (!seek) return tra;
            return '(' + tra + IntervalloNocase(col, basso, OltreIBlank(alto)) + ')';
        }
    }
    return QString();
}

}  // namespace

QString Traduci(const QString& sql, const IndiceCercabile& cercabile, const Schemi& schemi) {
    const Analisi a = Analizza(sql);
    // Without statistics the engine cannot tell which of several comparisons is the
    // narrowest and may seek a one-digit CAP before a surname: one comparison gets its range,
    // the others are kept from any index. Joined by OR, each side must be sought on its own
    // (the engine unites them), or the whole table is read: each gets its range.
    auto Cercabile = [&](const Confronto& c) {
        return Peso(c) > 0 && (!cercabile || cercabile(a.tabella, NomeColonna(c.colonna)));
    };
    const Confronto* scelto = nullptr;
    if (!a.conOr)
        for (const Confronto& c : a.confronti) {
            if (!Cercabile(c)) continue;
            if (!scelto || Peso(c) > Peso(*scelto) ||
                (Peso(c) == Peso(*scelto) && c.valore.size() > scelto->valore.size()))
                scelto = &c;
        }
    std::vector<Sostituzione> sostituzioni;
    for (const Confronto& c : a.confronti) {
        const bool seek = a.conOr ? Cercabile(c) : &c == scelto;
        sostituzioni.push_back({c.da, c.a, ConfrontoSqlite(c, seek, scelto && &c != scelto)});
    }
    // The columns' collation orders texts without their trailing blanks, and the engine puts
    // nulls first: only the key is added.
    Ordina(
        a, schemi, false,
        [](const QString& scritta, const SchemaTabella::Colonna&, bool discendente) {
            return scritta + (discendente ? QStringLiteral(" DESC") : QString());
        },
        sostituzioni);
    return Riscrivi(a.pezzi, sostituzioni, [](const Pezzo& p) {
        return p.tipo == Pezzo::Letterale ? QuotaTesto(p.valore) : p.testo;
    });
}

}  // namespace motore::sqlite
