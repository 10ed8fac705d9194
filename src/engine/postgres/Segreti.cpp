// The connection string as it may be shown: a password is known by its keyword, as libpq
// reads it (PQconninfoParse, URIs and quoted values included), and never shown, neither in
// the string nor where a cause from libpq or the server repeats it. A string libpq cannot
// read is cut from its password keyword on.

#include "engine/postgres/Interno.h"

#include <QRegularExpression>

namespace motore::postgres {

namespace {

bool Segreta(const char* chiave) {
    return qstrcmp(chiave, "password") == 0 || qstrcmp(chiave, "sslpassword") == 0;
}

QString Quotato(QString v) {
    static const QRegularExpression speciali(QStringLiteral("[\\s'\\\\]"));
    if (!v.isEmpty() && !v.contains(speciali)) return v;
    v.replace('\\', QStringLiteral("\\\\")).replace('\'', QStringLiteral("\\'"));
    return '\'' + v + '\'';
}

}  // namespace

Collegamento LeggiCollegamento(const QString& server) {
    Collegamento c;
    char* errore = nullptr;
    // libpq's own reading, URIs and quoted values included: a password is known by its
    // keyword wherever and however it is written.
    if (PQconninfoOption* opzioni = PQconninfoParse(server.toUtf8().constData(), &errore)) {
        QStringList parti;
        bool nascosta = false;
        for (const PQconninfoOption* o = opzioni; o->keyword; ++o) {
            if (!o->val) continue;
            QString valore = QString::fromUtf8(o->val);
            if (Segreta(o->keyword)) {
                if (!valore.isEmpty()) c.segreti << valore;
                valore = QStringLiteral("***");
                nascosta = true;
            } else {
                valore = Quotato(valore);
            }
            parti << QString::fromUtf8(o->keyword) + '=' + valore;
        }
        PQconninfoFree(opzioni);
        c.mostrabile = nascosta ? parti.join(' ') : server;
        return c;
    }
    PQfreemem(errore);
    // A string libpq cannot read: from a password keyword on, and a URI's user:password@,
    // nothing is shown.
    static const QRegularExpression parola(
        QStringLiteral("\\b(?:ssl)?password\\s*=.*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression uri(
        QStringLiteral("^postgres(?:ql)?://[^:/?@]*:(.*)@"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    c.mostrabile = server;
    if (const auto m = uri.match(c.mostrabile); m.hasMatch()) {
        c.nascosti << m.captured(1);
        c.mostrabile.replace(m.capturedStart(1), m.capturedLength(1), QStringLiteral("***"));
    }
    if (const auto m = parola.match(c.mostrabile); m.hasMatch()) {
        c.nascosti << m.captured(0);
        c.mostrabile = c.mostrabile.left(m.capturedStart(0)) + QStringLiteral("password=***");
    }
    return c;
}

QString Maschera(QString causa, const Collegamento& c) {
    for (const QString& s : c.segreti) {
        // Whole, where something that is not a letter or digit sets it apart: a short
        // password does not blot out the letters of the words around it.
        const QRegularExpression valore(QStringLiteral("(?<![\\p{L}\\p{N}])%1(?![\\p{L}\\p{N}])")
                                            .arg(QRegularExpression::escape(s)));
        causa.replace(valore, QStringLiteral("***"));
        if (s.size() >= 6) causa.replace(s, QStringLiteral("***"));
    }
    // libpq quotes the word of a string it cannot read.
    static const QRegularExpression citato(QStringLiteral("\"([^\"]+)\""));
    for (const QString& n : c.nascosti) {
        QString fuori;
        qsizetype da = 0;
        for (auto it = citato.globalMatch(causa); it.hasNext();) {
            const auto m = it.next();
            if (m.captured(1) == QLatin1String("=") || !n.contains(m.captured(1))) continue;
            fuori += causa.mid(da, m.capturedStart(1) - da) + QStringLiteral("***");
            da = m.capturedEnd(1);
        }
        causa = fuori + causa.mid(da);
    }
    return causa;
}

QString Messaggio(const PGconn* c) {
    return QString::fromUtf8(PQerrorMessage(c)).trimmed();
}

QString MessaggioRisultato(const PGresult* r) {
    const char* primario = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
    return primario ? QString::fromUtf8(primario)
                    : QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
}

}  // namespace motore::postgres
