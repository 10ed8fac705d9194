#include <gtest/gtest.h>

#include <QLocale>

#include <cmath>
#include <initializer_list>

#include "app/Valori.h"

namespace {

// Pins the default locale for one test and puts the office's own back afterwards.
struct LocaleFissata {
    explicit LocaleFissata(const QLocale& l) { QLocale::setDefault(l); }
    ~LocaleFissata() { QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy)); }
};

const QLocale kPunto(QLocale::English);
const QLocale kVirgola(QLocale::Italian, QLocale::Italy);

}  // namespace

TEST(ValoriTest, NumerazioneDeiGiorniEDateScritte) {
    EXPECT_EQ(GiornoDaData(QDate(1900, 1, 1)), 2);
    EXPECT_EQ(DataDaGiorno(36892), QDate(2001, 1, 1));

    qint64 g = 0;
    EXPECT_TRUE(DataValida("1/1/01", &g));
    EXPECT_EQ(g, 36892);
    EXPECT_TRUE(DataValida("5/6/30", &g));
    EXPECT_EQ(DataDaGiorno(g), QDate(1930, 6, 5));
    EXPECT_TRUE(DataValida("5/6/29", &g));
    EXPECT_EQ(DataDaGiorno(g), QDate(2029, 6, 5));

    g = 7;
    EXPECT_FALSE(DataValida("31/02/2001", &g));
    EXPECT_EQ(g, 7);
    for (const char* t : {"//2001", "01/01/", "1/2/x", "1/2/2001/4", "99999999999/1/2001"})
        EXPECT_FALSE(DataValida(t)) << t;
}

TEST(ValoriTest, TestoDaNull) {
    EXPECT_EQ(TestoDaNull(QVariant()), " ");
    EXPECT_EQ(TestoDaNull(QVariant(), "   "), " ");
    EXPECT_EQ(TestoDaNull(QString("   "), "X"), "X");
    EXPECT_EQ(TestoDaNull(QString(QChar(u'\0')) + "abc", "-"), "-");
    EXPECT_EQ(TestoDaNull(QString(" Rossi ")), " Rossi ");
    EXPECT_EQ(TestoDaNull(qint64(-1234567890123)), "-1234567890123");
    EXPECT_EQ(TestoDaNull(QDate(2001, 1, 5)), "05/01/2001");
    // A typed column's null is still null.
    EXPECT_EQ(TestoDaNull(QVariant(QMetaType::fromType<QString>()), "n/d"), "n/d");
    {
        LocaleFissata l(kPunto);
        EXPECT_EQ(TestoDaNull(1e20), "100000000000000000000");
    }
    LocaleFissata l(kVirgola);
    EXPECT_EQ(TestoDaNull(12.5), "12,5");
}

TEST(ValoriTest, ValoreNumericoEInteroDa) {
    {
        LocaleFissata l(kPunto);
        EXPECT_EQ(ValoreNumerico(QString(" 1/1/01 ")).toLongLong(), 36892);
        EXPECT_EQ(ValoreNumerico(QDate(2001, 1, 1)).toLongLong(), 36892);
        EXPECT_EQ(ValoreNumerico(QString(" 12.50 ")).toString(), "12.50");
        EXPECT_EQ(ValoreNumerico(QString("-3e2")).toString(), "-3e2");
        EXPECT_EQ(ValoreNumerico(2.25).toString(), "2.25");
        for (const char* t : {"", "   ", "1/2/x", "abc", "1.2.3", "12,50", "+", "1e"})
            EXPECT_EQ(ValoreNumerico(QString(t)).toInt(), 0) << t;
        EXPECT_EQ(ValoreNumerico(QVariant()).toInt(), 0);
        EXPECT_EQ(ValoreNumerico(std::nan("")).toInt(), 0);

        EXPECT_EQ(InteroDa(QVariant()), 0);
        EXPECT_EQ(InteroDa(QString("parola")), 0);
        EXPECT_EQ(InteroDa(QString("00017")), 17);
        EXPECT_EQ(InteroDa(QString("01/01/2001")), 36892);
        EXPECT_EQ(InteroDa(QString("2.5")), 2);
        EXPECT_EQ(InteroDa(QString("3.5")), 4);
        EXPECT_EQ(InteroDa(QString("-2.5")), -2);
        EXPECT_EQ(InteroDa(QString("2.51")), 3);
        EXPECT_EQ(InteroDa(QString("-2147483648")), -2147483648);
        EXPECT_EQ(InteroDa(QString("2147483648")), 0);
        EXPECT_EQ(InteroDa(QString("1e400")), 0);
        EXPECT_EQ(InteroDa(qint64(1) << 40), 0);
    }
    LocaleFissata l(kVirgola);
    EXPECT_EQ(ValoreNumerico(QString("12,50")).toString(), "12,50");
    EXPECT_EQ(ValoreNumerico(QString("12.50")).toInt(), 0);
    EXPECT_EQ(ValoreNumerico(2.25).toString(), "2,25");
    EXPECT_EQ(InteroDa(QString("7,5")), 8);
    EXPECT_EQ(InteroDa(QString("6,5")), 6);
    EXPECT_EQ(InteroDa(2.5), 2);
    EXPECT_EQ(InteroDa(QString("1,5e1")), 15);
}

TEST(ValoriTest, SeparatoreDecimale) {
    {
        LocaleFissata l(kPunto);
        EXPECT_EQ(SeparatoreDecimale("   "), "0");
        EXPECT_EQ(SeparatoreDecimale(" 12 , 50 "), "12.50");
        EXPECT_EQ(SeparatoreDecimale("1,2,3"), "1.2,3");
        EXPECT_EQ(SeparatoreDecimale(" 12.50 "), "12.50");
    }
    LocaleFissata l(kVirgola);
    EXPECT_EQ(SeparatoreDecimale("12.50"), "12,50");
    EXPECT_EQ(SeparatoreDecimale("1.2.3"), "1,2.3");
    EXPECT_EQ(SeparatoreDecimale(" 12,50"), "12,50");
}

TEST(ValoriTest, RiempiZeriEAllineaDestra) {
    LocaleFissata l(kVirgola);
    EXPECT_EQ(RiempiZeri("86", 3), "086");
    EXPECT_EQ(RiempiZeri(" 5 ", 3), "005");
    EXPECT_EQ(RiempiZeri("0", 3), "0");
    EXPECT_EQ(RiempiZeri("", 3), "");
    EXPECT_EQ(RiempiZeri(" 0 ", 5), " 0 ");
    EXPECT_EQ(RiempiZeri("1234", 3), "1234");
    EXPECT_EQ(RiempiZeri("ABC", 5), "ABC");

    EXPECT_EQ(AllineaDestra(" 12 ", 5), "   12");
    EXPECT_EQ(AllineaDestra("   ", 5), "   ");
    EXPECT_EQ(AllineaDestra("123456", 5), "123456");
}

TEST(ValoriTest, GiornoMeseAnno) {
    LocaleFissata l(kVirgola);
    for (const QVariant& v : {QVariant(36892), QVariant(36892.75), QVariant(QString("01/01/2001")),
                              QVariant(QString("36892")), QVariant(QDate(2001, 1, 1))}) {
        const QString s = GiornoDi(v) + MeseDi(v) + AnnoDi(v);
        EXPECT_EQ(s, "01012001") << v.toString().toStdString();
    }
    EXPECT_EQ(GiornoDi(QString("5/11/98")) + MeseDi(QString("5/11/98")), "0511");
    EXPECT_EQ(AnnoDi(QString("5/11/98")), "1998");

    for (const QVariant& v :
         {QVariant(), QVariant(0), QVariant(QString("0")), QVariant(QString("")),
          QVariant(QString("abc")), QVariant(QString("31/02/2001")), QVariant(QDate()),
          QVariant(1e300), QVariant(std::nan(""))}) {
        EXPECT_EQ(GiornoDi(v), " ") << v.toString().toStdString();
        EXPECT_EQ(MeseDi(v), " ") << v.toString().toStdString();
        EXPECT_EQ(AnnoDi(v), " ") << v.toString().toStdString();
    }
}

TEST(ValoriTest, FiltriDeiTasti) {
    int c = 'z';
    EXPECT_EQ(TastoMaiuscolo(c), 'Z');
    EXPECT_EQ(c, 'Z');
    for (int k : std::initializer_list<int>{'z' + 1, 'a' - 1, 0xE0, 0xE8}) {
        int codice = k;
        EXPECT_EQ(TastoMaiuscolo(codice), k);
    }
    for (int k : std::initializer_list<int>{8, 3, 22, 18, '0', '9'}) {
        int codice = k;
        EXPECT_EQ(TastoCifra(codice), k);
    }
    for (int k : std::initializer_list<int>{'/', ':', 'a', 13}) {
        int codice = k;
        EXPECT_EQ(TastoCifra(codice), 0);
        EXPECT_EQ(codice, 0);
    }
}
