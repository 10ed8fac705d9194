// Windows-1252 both ways without a codec library: Latin-1 everywhere but 0x80..0x9F. A
// character the page lacks becomes "?", so a file written for the office always reads back.

#include "app/Cp1252.h"

namespace {

// Windows-1252 at 0x80..0x9F, where Latin-1 has control characters; 0 for the unused codes.
constexpr char16_t kAlti[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char Carattere1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return char(c);
    for (int i = 0; i < 32; ++i)
        if (kAlti[i] == c) return char(0x80 + i);
    return '?';
}

}  // namespace

QByteArray Cp1252(QStringView testo) {
    QByteArray out;
    out.reserve(testo.size());
    for (qsizetype i = 0; i < testo.size(); ++i) {
        out += Carattere1252(testo[i].unicode());
        // One character, one "?", however many UTF-16 units it takes.
        if (testo[i].isHighSurrogate() && i + 1 < testo.size() && testo[i + 1].isLowSurrogate())
            ++i;
    }
    return out;
}

QString DaCp1252(QByteArrayView testo) {
    QString out(testo.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (char c : testo) {
        const auto b = static_cast<unsigned char>(c);
        const char16_t alto = b >= 0x80 && b < 0xA0 ? kAlti[b - 0x80] : 0;
        *d++ = QChar(alto ? alto : char16_t(b));
    }
    return out;
}
