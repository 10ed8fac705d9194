#include "data/RegoleCliente.h"

#include "support/AmbienteProva.h"  // readable QStrings in failures

#include <gtest/gtest.h>

namespace {

using enum Difetto;

// One character changed, for one of its own kind: a digit for a digit, a letter for a letter.
QString Cambiato(QString s, qsizetype i) {
    const QChar c = s[i];
    s[i] = c.isDigit() ? QChar(u'0' + (c.unicode() - u'0' + 1) % 10)
                       : QChar(u'A' + (c.unicode() - u'A' + 1) % 26);
    return s;
}

// Published codes and their omocode forms, and what each rule makes of them: with the check
// characters, and by the length alone.
TEST(RegoleCliente, CodiceFiscale) {
    const struct {
        const char* codice;
        Difetto conCifre, senzaCifre;
    } casi[] = {
        {"", Nessuno, Nessuno},
        {"RCCMNL83S18D969H", Nessuno, Nessuno},
        {"RCCMNL83S18DVSVX", Nessuno, Nessuno},  // the place of birth's digits as letters
        {"RCCMNLTPS18D969O", Nessuno, Nessuno},  // the year's
        {"RCCMNLUPSMUDVSVO", Nessuno, Nessuno},  // every digit
        {"RCCMNL83S18D969A", Controllo, Nessuno},
        {"RCCMNL83S18DVSVH", Controllo, Nessuno},  // an omocode with the plain code's check
        {"RCCMNL83S18D96-H", Controllo, Nessuno},
        {"RCCMNL83S18D969", Lunghezza, Lunghezza},
        {"RCCMNL83S18D969HH", Lunghezza, Nessuno},
        // A company's: its VAT number.
        {"00743110157", Nessuno, Nessuno},
        {"00743110158", Controllo, Nessuno},
        {"01234561015", Ufficio, Nessuno},
        {"0074311015A", Lunghezza, Lunghezza},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.codice);
        EXPECT_EQ(DifettoCodiceFiscale(c.codice, true), c.conCifre);
        EXPECT_EQ(DifettoCodiceFiscale(c.codice, false), c.senzaCifre);
    }
}

TEST(RegoleCliente, PartitaIva) {
    const struct {
        const char* numero;
        const char* nazione;
        Difetto conCifre, senzaCifre;
    } casi[] = {
        {"00743110157", "IT", Nessuno, Nessuno},
        {"00743110158", "IT", Controllo, Nessuno},
        {"0074311015", "IT", Lunghezza, Lunghezza},
        {"", "IT", Nessuno, Nessuno},
        {"00743110158", "DE", Nessuno, Nessuno},  // foreign numbers are not looked at
        {"0074311015", "FR", Nessuno, Nessuno},
        // The office, digits 8 to 10, is its own fault; which offices exist, at every edge:
        // tests/cifre/cifre.py.
        {"01234560009", "IT", Ufficio, Nessuno},
        {"01234561015", "IT", Ufficio, Nessuno},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.numero);
        EXPECT_EQ(DifettoPartitaIva(c.numero, c.nazione, true), c.conCifre);
        EXPECT_EQ(DifettoPartitaIva(c.numero, c.nazione, false), c.senzaCifre);
    }
}

// Any one character mistyped is found, wherever it is.
TEST(RegoleCliente, UnCarattereSbagliatoInOgniPosto) {
    for (const QString valido : {"RCCMNL83S18D969H", "RCCMNL83S18DVSVX"})
        for (qsizetype i = 0; i < valido.size(); ++i)
            EXPECT_EQ(DifettoCodiceFiscale(Cambiato(valido, i), true), Controllo)
                << Cambiato(valido, i).toStdString();
    const QString iva = QStringLiteral("00743110157");
    for (qsizetype i = 0; i < iva.size(); ++i) {
        EXPECT_EQ(DifettoPartitaIva(Cambiato(iva, i), "IT", true), Controllo)
            << Cambiato(iva, i).toStdString();
        EXPECT_EQ(DifettoCodiceFiscale(Cambiato(iva, i), true), Controllo);
    }
}

// A character of two UTF-16 units that does not fit whole in a column goes whole: never
// half of one, which would be stored as "?".
TEST(RegoleCliente, MaiMezzoCarattere) {
    ClientRecord r;
    r.CliRagsoc = QString(19, u'A') + QString::fromUtf8("😀 SRL");
    CompletaCliente(r);
    EXPECT_EQ(r.CliAcronimo.str(), QString(19, u'A') + u' ');
    r.CliRagsoc = QString(34, u'B') + QString::fromUtf8("😀");
    EXPECT_EQ(r.CliRagsoc.str(), QString(34, u'B') + u' ');
}

}  // namespace
