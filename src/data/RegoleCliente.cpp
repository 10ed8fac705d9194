// The field rules of a client, shared by the form and the import so that both refuse
// and complete the same values.

#include "data/RegoleCliente.h"

#include "app/Valori.h"

#include <algorithm>

namespace {

bool Cifra(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool SoloCifre(QStringView s) {
    return std::all_of(s.begin(), s.end(), Cifra);
}

// ValoreNumerico hands back the text itself only when the text reads as a number.
bool Numero(const QString& testo) {
    return ValoreNumerico(testo).typeId() == QMetaType::QString;
}

}  // namespace

QString RicercaDetentori::Colonna() const {
    return perPartitaIva ? QStringLiteral("CliPartitaIva") : QStringLiteral("CliCodiceFiscale");
}

RicercaDetentori DetentoriDi(const QString& valore) {
    const QString t = valore.trimmed();
    const qsizetype blank = t.indexOf(u' ');
    const QString k = blank >= 0 ? t.left(blank + 1) : t;
    RicercaDetentori r;
    r.perPartitaIva = Numero(k);
    r.intera = r.perPartitaIva ? k.size() == 11 : k.size() >= 16;
    r.da = r.intera ? k : k + u' ';
    r.a = r.intera ? k : k + QStringLiteral("zzz");
    return r;
}

QChar CarattereControlloCF(QStringView primi15) {
    // What a character in an odd place (1st, 3rd, ...) is worth; a digit as the letter in its
    // place in the alphabet (0 as A).
    static constexpr int kDispari[26] = {1,  0,  5, 7, 9, 13, 15, 17, 19, 21, 2,  4,  18,
                                         20, 11, 3, 6, 8, 12, 14, 16, 10, 22, 25, 24, 23};
    if (primi15.size() != 15) return {};
    int somma = 0;
    for (qsizetype i = 0; i < 15; ++i) {
        const QChar c = primi15[i];
        int valore;
        if (Cifra(c))
            valore = c.unicode() - u'0';
        else if (c >= u'A' && c <= u'Z')
            valore = c.unicode() - u'A';
        else
            return {};
        somma += i % 2 == 0 ? kDispari[valore] : valore;
    }
    return QChar(u'A' + somma % 26);
}

int CifraControlloPartitaIva(QStringView primeDieci) {
    if (primeDieci.size() != 10 || !SoloCifre(primeDieci)) return -1;
    int somma = 0;
    for (qsizetype i = 0; i < 10; ++i) {
        int d = primeDieci[i].unicode() - u'0';
        if (i % 2 == 1) d = d < 5 ? 2 * d : 2 * d - 9;
        somma += d;
    }
    return (10 - somma % 10) % 10;
}

namespace {

// An Italian VAT number, or a company's fiscal code: 11 digits, the last one its check digit,
// the 8th to 10th the code of an office that exists.
Difetto DifettoNumeroIva(QStringView numero) {
    if (numero.size() != 11) return Difetto::Lunghezza;
    if (!Cifra(numero[10]) ||
        CifraControlloPartitaIva(numero.first(10)) != numero[10].unicode() - u'0')
        return Difetto::Controllo;
    const int ufficio = numero.sliced(7, 3).toInt();
    if ((ufficio < 1 || ufficio > 100) && ufficio != 120 && ufficio != 121 && ufficio != 888 &&
        ufficio != 999)
        return Difetto::Ufficio;
    return Difetto::Nessuno;
}

}  // namespace

Difetto DifettoCodiceFiscale(const QString& codiceFiscale, bool cifre) {
    const qsizetype n = codiceFiscale.size();
    if (n == 0) return Difetto::Nessuno;
    if (n == 11 && SoloCifre(codiceFiscale))
        return cifre ? DifettoNumeroIva(codiceFiscale) : Difetto::Nessuno;
    if (!cifre) return n >= 16 ? Difetto::Nessuno : Difetto::Lunghezza;
    if (n != 16) return Difetto::Lunghezza;
    const QChar atteso = CarattereControlloCF(QStringView(codiceFiscale).first(15));
    return !atteso.isNull() && atteso == codiceFiscale[15] ? Difetto::Nessuno : Difetto::Controllo;
}

Difetto DifettoPartitaIva(const QString& partitaIva, const QString& nazione, bool cifre) {
    if (partitaIva.isEmpty() || nazione != QLatin1String("IT")) return Difetto::Nessuno;
    if (partitaIva.size() != 11) return Difetto::Lunghezza;
    return cifre ? DifettoNumeroIva(partitaIva) : Difetto::Nessuno;
}

QString NazioneCliente(const QString& nazione, const std::function<QString(QString&)>& codiceIso) {
    if (nazione.trimmed().isEmpty()) return QStringLiteral("IT");
    QString n = nazione;
    return codiceIso(n);
}

QString Maiuscole(QString testo) {
    for (QChar& c : testo) {
        int codice = c.unicode();
        c = QChar(TastoMaiuscolo(codice));
    }
    return testo;
}

std::optional<std::int32_t> GiornoEsenzione(const QString& giorno, const QString& mese,
                                            const QString& anno) {
    qint64 numero = 0;
    if (!DataValida(giorno + u'/' + mese + u'/' + anno, &numero)) return std::nullopt;
    return std::int32_t(numero);
}

void CompletaCliente(ClientRecord& r) {
    // Italy (or no nation, which the nation box turns into Italy) keeps what was typed, and
    // an identifier too long for a VAT number stays where it was: nothing typed is lost.
    const QString nazione = r.CliNazione.trimmed();
    if (!nazione.isEmpty() && nazione != QLatin1String("IT") && !r.CliCodiceFiscale.blank() &&
        r.CliPartitaIva.blank() && r.CliCodiceFiscale.trimmed().size() <= 12) {
        r.CliPartitaIva = r.CliCodiceFiscale.trimmed();
        r.CliCodiceFiscale = QString();
    }
    if (r.CliAcronimo.blank()) r.CliAcronimo = r.CliRagsoc.str().left(20);
}
