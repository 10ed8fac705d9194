// The forms' dialect written for the server: see Traduzione.h for what it promises. Every
// literal is written again, never passed through, so that typed text cannot change the
// query whatever the server's settings.

#include "engine/postgres/Traduzione.h"

#include "engine/Errori.h"
#include "engine/Sql.h"

namespace motore::postgres {

using namespace dialetto;

namespace {

// A standard string, or an escape string (E'') when it holds a backslash: it means the same
// whatever the server's standard_conforming_strings.
QString LetteralePg(const QString& valore) {
    if (valore.contains(QChar(0)))
        throw Errore(ErrSintassi,
                     QStringLiteral("Carattere non valido (NUL) in un testo della query."));
    if (!valore.contains('\\')) return QuotaTesto(valore);
    QString s = valore;
    s.replace('\\', QStringLiteral("\\\\"));
    return 'E' + QuotaTesto(s);
}

QString NomePg(const Pezzo& p) {
    if (p.tipo != Pezzo::NomeQuadro) return p.testo;
    return QuotaNome(
        p.testo.mid(1, p.testo.endsWith(']') ? p.testo.size() - 2 : p.testo.size() - 1).toLower());
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

}  // namespace

QString Traduci(const QString& sql, const Schemi& schemi) {
    const Analisi a = Analizza(sql);
    std::vector<Sostituzione> sostituzioni;
    for (const Confronto& c : a.confronti) sostituzioni.push_back({c.da, c.a, ConfrontoPg(c)});
    Ordina(a, schemi, true, VocePg, sostituzioni);
    return Riscrivi(a.pezzi, sostituzioni, [](const Pezzo& p) {
        return p.tipo == Pezzo::Letterale ? LetteralePg(p.valore) : NomePg(p);
    });
}

}  // namespace motore::postgres
