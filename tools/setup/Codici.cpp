#include "Setup.h"

namespace setup {

namespace {

bool Lettera(QChar c) {
    return c >= u'A' && c <= u'Z';
}
bool Cifra(QChar c) {
    return c >= u'0' && c <= u'9';
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

QChar CarattereControlloCF(QStringView primi15) {
    // Values of the characters in odd positions (1st, 3rd, ...), digits and letters alike.
    static constexpr int kDispari[26] = {1,  0,  5, 7, 9, 13, 15, 17, 19, 21, 2,  4,  18,
                                         20, 11, 3, 6, 8, 12, 14, 16, 10, 22, 25, 24, 23};
    if (primi15.size() != 15) return {};
    int somma = 0;
    for (qsizetype i = 0; i < 15; ++i) {
        const QChar c = primi15[i];
        int valore;
        if (Cifra(c))
            valore = c.unicode() - u'0';
        else if (Lettera(c))
            valore = c.unicode() - u'A';
        else
            return {};
        somma += (i % 2 == 0) ? kDispari[valore] : valore;
    }
    return QChar(u'A' + somma % 26);
}

bool CodiceFiscaleValido(QStringView cf) {
    if (cf.size() != 16) return false;
    const QChar atteso = CarattereControlloCF(cf.left(15));
    return !atteso.isNull() && atteso == cf[15];
}

int CifraControlloPartitaIva(QStringView primeDieci) {
    if (primeDieci.size() != 10) return -1;
    int somma = 0;
    for (qsizetype i = 0; i < 10; ++i) {
        if (!Cifra(primeDieci[i])) return -1;
        int d = primeDieci[i].unicode() - u'0';
        if (i % 2 == 1) {
            d *= 2;
            if (d > 9) d -= 9;
        }
        somma += d;
    }
    return (10 - somma % 10) % 10;
}

bool PartitaIvaValida(QStringView piva) {
    if (piva.size() != 11 || !Cifra(piva[10])) return false;
    return CifraControlloPartitaIva(piva.left(10)) == piva[10].unicode() - u'0';
}

qint64 NumeroGiorno(QDate data) {
    return QDate(1899, 12, 30).daysTo(data);
}

}  // namespace setup
