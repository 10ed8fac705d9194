// The SQL text both engines write alike; see Sql.h.

#include "engine/Sql.h"

namespace motore {

QString QuotaNome(const QString& nome) {
    QString s = nome;
    s.replace('"', QStringLiteral("\"\""));
    return '"' + s + '"';
}

QString QuotaTesto(const QString& valore) {
    QString s = valore;
    s.replace('\'', QStringLiteral("''"));
    return '\'' + s + '\'';
}

QString Segnaposto(QChar segno, int numero) {
    return segno + QString::number(numero);
}

QString TestoInserimento(const QString& tabella, const QStringList& colonne, QChar segno) {
    if (colonne.isEmpty())
        return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(QuotaNome(tabella));
    QStringList nomi, posti;
    for (qsizetype i = 0; i < colonne.size(); ++i) {
        nomi << QuotaNome(colonne[i]);
        posti << Segnaposto(segno, int(i) + 1);
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(QuotaNome(tabella), nomi.join(QStringLiteral(", ")), posti.join(QStringLiteral(", ")));
}

QString TestoAggiornamento(const QString& tabella, const QStringList& colonne, QChar segno) {
    QStringList assegna;
    for (qsizetype i = 0; i < colonne.size(); ++i)
        assegna << QuotaNome(colonne[i]) + QStringLiteral(" = ") + Segnaposto(segno, int(i) + 1);
    return QStringLiteral("UPDATE %1 SET %2")
        .arg(QuotaNome(tabella), assegna.join(QStringLiteral(", ")));
}

QString CondizioneSeek(const QString& op, const QStringList& chiavi,
                       const QStringList& segnaposto) {
    if (op == QLatin1String("=")) {
        QStringList uguali;
        for (qsizetype i = 0; i < chiavi.size(); ++i)
            uguali << chiavi[i] + QStringLiteral(" = ") + segnaposto[i];
        return uguali.join(QStringLiteral(" AND "));
    }
    if (chiavi.size() == 1) return chiavi[0] + ' ' + op + ' ' + segnaposto[0];
    return '(' + chiavi.join(", ") + ") " + op + " (" + segnaposto.join(", ") + ')';
}

}  // namespace motore
