#include <gtest/gtest.h>

#include <QLocale>

#include <cmath>
#include <functional>
#include <initializer_list>

#include "support/AmbienteProva.h"
#include "app/Valori.h"

namespace {

// Pins the default locale for one test and puts the office's own back afterwards.
struct LocaleFissata {
    explicit LocaleFissata(const QLocale& l) { QLocale::setDefault(l); }
    ~LocaleFissata() { QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy)); }
};

using Conversione = std::function<QString(const QVariant&)>;
const Conversione Numerico = [](const QVariant& v) { return ValoreNumerico(v).toString(); };
const Conversione Intero = [](const QVariant& v) { return QString::number(InteroDa(v)); };
const Conversione Separatore = [](const QVariant& v) { return SeparatoreDecimale(v.toString()); };
const Conversione Testo = [](const QVariant& v) { return TestoDaNull(v); };
Conversione Zeri(int n) {
    return [n](const QVariant& v) { return RiempiZeri(v.toString(), n); };
}
Conversione Destra(int n) {
    return [n](const QVariant& v) { return AllineaDestra(v.toString(), n); };
}
const Conversione Data = [](const QVariant& v) { return GiornoDi(v) + MeseDi(v) + AnnoDi(v); };
QVariant S(const char* s) {
    return QString::fromUtf8(s);
}

}  // namespace

TEST(ValoriTest, NumerazioneDeiGiorniEDateScritte) {
    EXPECT_EQ(GiornoDaData(QDate(1900, 1, 1)), 2);
    EXPECT_EQ(DataDaGiorno(36892), QDate(2001, 1, 1));
    // Two-digit years: 30 and later the last century, 29 and before this one.
    for (const auto& [testo, data] : {std::pair{"1/1/01", QDate(2001, 1, 1)},
                                      {"5/6/30", QDate(1930, 6, 5)},
                                      {"5/6/29", QDate(2029, 6, 5)}}) {
        qint64 g = 0;
        EXPECT_TRUE(DataValida(testo, &g)) << testo;
        EXPECT_EQ(DataDaGiorno(g), data) << testo;
    }
    qint64 g = 7;
    EXPECT_FALSE(DataValida("31/02/2001", &g));
    EXPECT_EQ(g, 7) << "a refused date leaves the day alone";
    for (const char* t : {"//2001", "01/01/", "1/2/x", "1/2/2001/4", "99999999999/1/2001"})
        EXPECT_FALSE(DataValida(t)) << t;
}

// Each conversion under the locale whose decimal separator it depends on.
TEST(ValoriTest, ConversioniPerSeparatore) {
    const QLocale punto(QLocale::English), virgola(QLocale::Italian, QLocale::Italy);
    const struct {
        const QLocale& locale;
        Conversione f;
        QVariant valore;
        QString atteso;
    } casi[] = {
        // clang-format off
        {punto, Testo, QVariant(), " "}, {punto, Testo, S(" Rossi "), " Rossi "},
        {punto, Testo, qint64(-1234567890123), "-1234567890123"},
        {punto, Testo, QDate(2001, 1, 5), "05/01/2001"},
        {punto, Testo, 1e20, "100000000000000000000"},
        {virgola, Testo, 12.5, "12,5"},
        {punto, Numerico, S(" 1/1/01 "), "36892"}, {punto, Numerico, QDate(2001, 1, 1), "36892"},
        {punto, Numerico, S(" 12.50 "), "12.50"}, {punto, Numerico, S("-3e2"), "-3e2"},
        {punto, Numerico, 2.25, "2.25"}, {punto, Numerico, QVariant(), "0"},
        {punto, Numerico, std::nan(""), "0"}, {virgola, Numerico, S("12,50"), "12,50"},
        {virgola, Numerico, S("12.50"), "0"}, {virgola, Numerico, 2.25, "2,25"},
        {punto, Intero, QVariant(), "0"}, {punto, Intero, S("parola"), "0"},
        {punto, Intero, S("00017"), "17"}, {punto, Intero, S("01/01/2001"), "36892"},
        // Halves to the even neighbour.
        {punto, Intero, S("2.5"), "2"}, {punto, Intero, S("3.5"), "4"},
        {punto, Intero, S("-2.5"), "-2"}, {punto, Intero, S("2.51"), "3"},
        {punto, Intero, S("-2147483648"), "-2147483648"}, {punto, Intero, S("2147483648"), "0"},
        {punto, Intero, S("1e400"), "0"}, {punto, Intero, qint64(1) << 40, "0"},
        {virgola, Intero, S("7,5"), "8"}, {virgola, Intero, S("6,5"), "6"},
        {virgola, Intero, 2.5, "2"}, {virgola, Intero, S("1,5e1"), "15"},
        {punto, Separatore, S("   "), "0"}, {punto, Separatore, S(" 12 , 50 "), "12.50"},
        {punto, Separatore, S("1,2,3"), "1.2,3"}, {punto, Separatore, S(" 12.50 "), "12.50"},
        {virgola, Separatore, S("12.50"), "12,50"}, {virgola, Separatore, S("1.2.3"), "1,2.3"},
        {virgola, Separatore, S(" 12,50"), "12,50"},
        {virgola, Zeri(3), S("86"), "086"}, {virgola, Zeri(3), S(" 5 "), "005"},
        {virgola, Zeri(3), S("0"), "0"}, {virgola, Zeri(3), S(""), ""},
        {virgola, Zeri(5), S(" 0 "), " 0 "}, {virgola, Zeri(3), S("1234"), "1234"},
        {virgola, Zeri(5), S("ABC"), "ABC"}, {virgola, Destra(5), S(" 12 "), "   12"},
        {virgola, Destra(5), S("   "), "   "}, {virgola, Destra(5), S("123456"), "123456"},
        {virgola, Data, 36892, "01012001"}, {virgola, Data, 36892.75, "01012001"},
        {virgola, Data, S("01/01/2001"), "01012001"}, {virgola, Data, S("36892"), "01012001"},
        {virgola, Data, QDate(2001, 1, 1), "01012001"}, {virgola, Data, S("5/11/98"), "05111998"},
        // clang-format on
    };
    for (const auto& c : casi) {
        LocaleFissata l(c.locale);
        EXPECT_EQ(c.f(c.valore), c.atteso) << c.valore.toString().toStdString();
    }
    for (const char* t : {"", "   ", "1/2/x", "abc", "1.2.3", "12,50", "+", "1e"}) {
        LocaleFissata l(punto);
        EXPECT_EQ(Numerico(S(t)), "0") << t;
    }
    // Blanks or a placeholder for a null, also a typed column's.
    EXPECT_EQ(TestoDaNull(QVariant(), "   "), " ");
    EXPECT_EQ(TestoDaNull(S("   "), "X"), "X");
    EXPECT_EQ(TestoDaNull(QString(QChar(u'\0')) + "abc", "-"), "-");
    EXPECT_EQ(TestoDaNull(QVariant(QMetaType::fromType<QString>()), "n/d"), "n/d");
    for (const QVariant& v : {QVariant(), QVariant(0), S("0"), S(""), S("abc"), S("31/02/2001"),
                              QVariant(QDate()), QVariant(1e300), QVariant(std::nan(""))})
        for (const auto& parte : {GiornoDi(v), MeseDi(v), AnnoDi(v)})
            EXPECT_EQ(parte, " ") << v.toString().toStdString();
}

TEST(ValoriTest, FiltriDeiTasti) {
    for (const auto& [tasto, maiuscolo, cifra] :
         std::initializer_list<std::tuple<int, int, int>>{{'z', 'Z', 0},
                                                          {'z' + 1, 'z' + 1, 0},
                                                          {'a' - 1, 'a' - 1, 0},
                                                          {0xE0, 0xE0, 0},
                                                          {8, 8, 8},
                                                          {3, 3, 3},
                                                          {22, 22, 22},
                                                          {18, 18, 18},
                                                          {'0', '0', '0'},
                                                          {'9', '9', '9'},
                                                          {'/', '/', 0},
                                                          {':', ':', 0},
                                                          {13, 13, 0}}) {
        int m = tasto, c = tasto;
        EXPECT_EQ(TastoMaiuscolo(m), maiuscolo) << tasto;
        EXPECT_EQ(m, maiuscolo) << "the key itself changes";
        EXPECT_EQ(TastoCifra(c), cifra) << tasto;
        EXPECT_EQ(c, cifra);
    }
}
