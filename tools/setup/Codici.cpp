// The Italian fiscal code of a generated person and the day numbers of the program's dates,
// for the sample clients; computed here so that the tool needs no outside service.

#include "Setup.h"

#include "data/RegoleCliente.h"

namespace setup {

namespace {

bool Lettera(QChar c) {
    return c >= u'A' && c <= u'Z';
}
bool Vocale(QChar c) {
    return QLatin1String("AEIOU").contains(c);
}

// Letters only, upper case: apostrophes, blanks and accents do not count in the code.
QString SoloLettere(const QString& testo) {
    QString out;
    for (QChar c : testo.normalized(QString::NormalizationForm_D).toUpper())
        if (Lettera(c)) out += c;
    return out;
}

QString Tre(const QString& consonanti, const QString& vocali) {
    return (consonanti + vocali + "XXX").left(3);
}

QString Separa(const QString& lettere, bool vocali) {
    QString out;
    for (QChar c : lettere)
        if (Vocale(c) == vocali) out += c;
    return out;
}

}  // namespace

QString CodiceFiscale(const QString& cognome, const QString& nome, QDate nascita, bool femmina,
                      const QString& catastale) {
    static constexpr char kMesi[] = "ABCDEHLMPRST";
    const QString c = SoloLettere(cognome);
    const QString n = SoloLettere(nome);
    const QString consNome = Separa(n, false);
    QString cf = Tre(Separa(c, false), Separa(c, true));
    // A first name with four or more consonants skips the second one.
    if (consNome.size() >= 4)
        cf += QString(consNome[0]) + consNome[2] + consNome[3];
    else
        cf += Tre(consNome, Separa(n, true));
    cf += QString::number(nascita.year() % 100).rightJustified(2, u'0');
    cf += QChar(kMesi[nascita.month() - 1]);
    cf += QString::number(nascita.day() + (femmina ? 40 : 0)).rightJustified(2, u'0');
    cf += catastale.toUpper();
    const QChar controllo = CarattereControlloCF(cf);
    return controllo.isNull() ? QString() : cf + controllo;
}

qint64 NumeroGiorno(QDate data) {
    return QDate(1899, 12, 30).daysTo(data);
}

}  // namespace setup
