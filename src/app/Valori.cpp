// Conversions between what the database holds and what the forms show, and the key
// filters; below the data layer, which reads columns and capitalises as the forms do.

#include "app/Valori.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

#include <cmath>
#include <limits>
#include <optional>

namespace {

const QDate kOrigine(1899, 12, 30);

// Days of 01/01/100 and 31/12/9999: the dates a form can show with a four-digit year.
constexpr qint64 kPrimoGiorno = -657434;
constexpr qint64 kUltimoGiorno = 2958465;

bool Nullo(const QVariant& v) {
    return v.isNull();
}

bool TipoNumerico(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
        case QMetaType::Double:
        case QMetaType::Float:
            return true;
        default:
            return false;
    }
}

bool TipoDecimale(const QVariant& v) {
    return v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float;
}

// Always '.' and never an exponent, whatever the size: the platform's separator comes later.
QString TestoNumero(const QVariant& v) {
    if (TipoDecimale(v)) return QString::number(v.toDouble(), 'f', QLocale::FloatingPointShortest);
    if (v.typeId() == QMetaType::ULongLong || v.typeId() == QMetaType::ULong)
        return QString::number(v.toULongLong());
    return QString::number(v.toLongLong());
}

bool ConDueBarre(const QString& testo) {
    const qsizetype prima = testo.indexOf(u'/');
    return prima >= 0 && testo.indexOf(u'/', prima + 1) > prima;
}

// Sign, digits, at most one of the platform's decimal separators, optional exponent.
bool Numerica(const QString& testo) {
    const QString sep = QLocale().decimalPoint();
    qsizetype i = 0;
    const qsizetype n = testo.size();
    if (i < n && (testo[i] == u'+' || testo[i] == u'-')) ++i;
    bool cifre = false;
    bool separatore = false;
    while (i < n) {
        if (testo[i].isDigit() && testo[i].unicode() < 128) {
            cifre = true;
            ++i;
        } else if (!separatore && !sep.isEmpty() && QStringView(testo).mid(i).startsWith(sep)) {
            separatore = true;
            i += sep.size();
        } else {
            break;
        }
    }
    if (!cifre) return false;
    if (i < n && (testo[i] == u'e' || testo[i] == u'E')) {
        ++i;
        if (i < n && (testo[i] == u'+' || testo[i] == u'-')) ++i;
        const qsizetype inizio = i;
        while (i < n && testo[i].isDigit() && testo[i].unicode() < 128) ++i;
        if (i == inizio) return false;
    }
    return i == n;
}

// Text already checked by Numerica; may come back infinite when it is too large.
double NumeroDaTesto(const QString& testo) {
    QString c = testo.trimmed();
    const QString sep = QLocale().decimalPoint();
    if (sep != QStringLiteral(".")) c.replace(sep, QStringLiteral("."));
    return c.toDouble();
}

// The number a ValoreNumerico result stands for.
double Numero(const QVariant& v) {
    if (TipoNumerico(v)) return v.toDouble();
    return NumeroDaTesto(v.toString());
}

std::optional<QDate> DataDaNumero(double giorno) {
    if (!std::isfinite(giorno) || giorno == 0) return std::nullopt;
    const double intero = std::trunc(giorno);
    if (intero < kPrimoGiorno || intero > kUltimoGiorno) return std::nullopt;
    return DataDaGiorno(static_cast<qint64>(intero));
}

std::optional<QDate> DataDaValore(const QVariant& v) {
    if (Nullo(v)) return std::nullopt;
    if (v.typeId() == QMetaType::QDate) {
        if (!v.toDate().isValid()) return std::nullopt;
        return v.toDate();
    }
    if (v.typeId() == QMetaType::QDateTime) {
        if (!v.toDateTime().isValid()) return std::nullopt;
        return v.toDateTime().date();
    }
    if (TipoNumerico(v)) return DataDaNumero(v.toDouble());
    const QString t = v.toString().trimmed();
    if (ConDueBarre(t)) {
        qint64 giorno = 0;
        if (!DataValida(t, &giorno)) return std::nullopt;
        return DataDaGiorno(giorno);
    }
    if (Numerica(t)) return DataDaNumero(NumeroDaTesto(t));
    return std::nullopt;
}

QString ParteData(const QVariant& v, const QString& formato) {
    const std::optional<QDate> d = DataDaValore(v);
    if (!d) return QStringLiteral(" ");
    return d->toString(formato);
}

bool SoloCifre(const QString& s) {
    if (s.isEmpty()) return false;
    for (QChar c : s)
        if (!c.isDigit() || c.unicode() >= 128) return false;
    return true;
}

}  // namespace

QDate DataDaGiorno(qint64 giorno) {
    return kOrigine.addDays(giorno);
}

qint64 GiornoDaData(const QDate& data) {
    return kOrigine.daysTo(data);
}

bool DataValida(const QString& testo, qint64* giorno) {
    const QStringList parti = testo.split(u'/');
    if (parti.size() != 3) return false;
    const QString g = parti[0].trimmed();
    const QString m = parti[1].trimmed();
    const QString a = parti[2].trimmed();
    if (!SoloCifre(g) || !SoloCifre(m) || !SoloCifre(a)) return false;
    // Long runs of digits would overflow toInt and are never a real date part anyway.
    if (g.size() > 4 || m.size() > 4 || a.size() > 4) return false;
    int anno = a.toInt();
    if (a.size() <= 2) {
        anno += anno < 30 ? 2000 : 1900;
    } else if (anno < 100) {
        return false;
    }
    const QDate d(anno, m.toInt(), g.toInt());
    if (!d.isValid()) return false;
    if (giorno) *giorno = GiornoDaData(d);
    return true;
}

QString TestoDaNull(const QVariant& valore, const QString& sostituto) {
    const QString rimpiazzo = sostituto.trimmed().isEmpty() ? QStringLiteral(" ") : sostituto;
    if (Nullo(valore)) return rimpiazzo;
    QString testo;
    if (valore.typeId() == QMetaType::QDate)
        testo = valore.toDate().toString(QStringLiteral("dd/MM/yyyy"));
    else if (TipoDecimale(valore))
        testo = SeparatoreDecimale(TestoNumero(valore));
    else if (TipoNumerico(valore))
        testo = TestoNumero(valore);
    else
        testo = valore.toString();
    // Fixed-width text columns can come back padded with NULs.
    if (testo.trimmed().isEmpty() || testo.front() == QChar(u'\0')) return rimpiazzo;
    return testo;
}

QVariant ValoreNumerico(const QVariant& valore) {
    if (Nullo(valore)) return 0;
    if (valore.typeId() == QMetaType::QDate) {
        if (!valore.toDate().isValid()) return 0;
        return GiornoDaData(valore.toDate());
    }
    if (valore.typeId() == QMetaType::QDateTime) {
        if (!valore.toDateTime().isValid()) return 0;
        return GiornoDaData(valore.toDateTime().date());
    }
    if (TipoNumerico(valore)) {
        // NaN and infinities have no digits to show.
        const QString testo = SeparatoreDecimale(TestoNumero(valore));
        if (!Numerica(testo)) return 0;
        return testo;
    }
    const QString testo = valore.toString().trimmed();
    if (testo.isEmpty()) return 0;
    if (ConDueBarre(testo)) {
        qint64 giorno = 0;
        if (!DataValida(testo, &giorno)) return 0;
        return giorno;
    }
    if (!Numerica(testo)) return 0;
    return SeparatoreDecimale(testo);
}

qint32 InteroDa(const QVariant& valore) {
    const double n = std::nearbyint(Numero(ValoreNumerico(valore)));
    if (!std::isfinite(n)) return 0;
    if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max()) return 0;
    return static_cast<qint32>(n);
}

QString SeparatoreDecimale(const QString& testo) {
    if (testo.trimmed().isEmpty()) return QStringLiteral("0");
    const bool punto = QLocale().toString(0.5) == QStringLiteral("0.5");
    const QChar da = punto ? u',' : u'.';
    const QChar a = punto ? u'.' : u',';
    const qsizetype pos = testo.indexOf(da);
    if (pos < 0) return testo.trimmed();
    return testo.left(pos).trimmed() + a + testo.mid(pos + 1).trimmed();
}

QString RiempiZeri(const QString& testo, int larghezza) {
    const QString t = testo.trimmed();
    if (t.size() >= larghezza || Numero(ValoreNumerico(testo)) == 0) return testo;
    return QString(larghezza - t.size(), u'0') + t;
}

QString AllineaDestra(const QString& testo, int larghezza) {
    const QString t = testo.trimmed();
    if (t.isEmpty() || t.size() >= larghezza) return testo;
    return t.rightJustified(larghezza, u' ');
}

QString AllaLarghezza(const QString& testo, int larghezza) {
    QString t = testo.leftJustified(larghezza, u' ', true);
    if (larghezza > 0 && t.back().isHighSurrogate()) t.back() = u' ';
    return t;
}

QString GiornoDi(const QVariant& valore) {
    return ParteData(valore, QStringLiteral("dd"));
}

QString MeseDi(const QVariant& valore) {
    return ParteData(valore, QStringLiteral("MM"));
}

QString AnnoDi(const QVariant& valore) {
    return ParteData(valore, QStringLiteral("yyyy"));
}

int TastoMaiuscolo(int& codice) {
    if (codice >= 97 && codice <= 122) codice -= 32;
    return codice;
}

int TastoCifra(int& codice) {
    // Backspace and the control keys the boxes accept (copy, paste, ...) must get through.
    if (codice == 8 || codice == 3 || codice == 22 || codice == 18) return codice;
    if (codice < 48 || codice > 57) codice = 0;
    return codice;
}
