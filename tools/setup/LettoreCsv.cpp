#include "LettoreCsv.h"

#include "app/Cp1252.h"

#include <QStringDecoder>

namespace setup::csv {

namespace {

// Where the physical line that holds `da` ends: its '\n', or the end of the data.
qsizetype FineRiga(const QByteArray& d, qsizetype da) {
    const qsizetype n = d.indexOf('\n', da);
    return n < 0 ? d.size() : n;
}

// The line's last byte before its end, a CR of a CRLF excluded.
qsizetype SenzaCr(const QByteArray& d, qsizetype inizio, qsizetype fine) {
    return fine > inizio && d[fine - 1] == '\r' ? fine - 1 : fine;
}

bool Bianca(const QByteArray& d, qsizetype inizio, qsizetype fine) {
    for (qsizetype i = inizio; i < fine; ++i)
        if (d[i] != ' ' && d[i] != '\t' && d[i] != '\r') return false;
    return true;
}

// The campi a file holds with or without a final separator after the last one.
bool NumeroGiusto(const std::vector<QByteArray>& campi, qsizetype attesi) {
    const auto n = qsizetype(campi.size());
    return n == attesi || (n == attesi + 1 && campi.back().isEmpty());
}

struct Esito {
    bool ok = true;
    QString errore;
    qsizetype fine = 0;  // the '\n' that ends the record, or the end of the data
    qint64 righe = 1;
};

// One record as quoted CSV: a field that starts with '"' runs to the next lone '"', doubled
// quotes stand for one; elsewhere a quote is an ordinary character.
Esito Quotato(const QByteArray& d, qsizetype i, char sep, bool multiriga,
              std::vector<QByteArray>& campi) {
    Esito e;
    const qsizetype inizio = i;
    const qsizetype n = d.size();
    campi.clear();
    QByteArray campo;
    auto fallito = [&](const char* perche) {
        e.ok = false;
        e.errore = QString::fromLatin1(perche);
        return e;
    };
    for (;;) {
        campo.clear();
        if (i < n && d[i] == '"') {
            ++i;
            for (;;) {
                if (i >= n || i - inizio > kMassimoRecord) return fallito("unterminated quote");
                const char c = d[i];
                if (c == '"') {
                    if (i + 1 < n && d[i + 1] == '"') {
                        campo += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (c == '\n') {
                    if (!multiriga) return fallito("unterminated quote");
                    ++e.righe;
                }
                campo += c;
                ++i;
            }
            const bool fineRiga =
                i >= n || d[i] == '\n' || (d[i] == '\r' && (i + 1 >= n || d[i + 1] == '\n'));
            if (!fineRiga && d[i] != sep) return fallito("text after a closing quote");
        } else {
            const qsizetype a = i;
            while (i < n && d[i] != sep && d[i] != '\n') ++i;
            campo = d.mid(a, SenzaCr(d, a, i) - a);
        }
        campi.push_back(campo);
        if (i < n && d[i] == sep) {
            ++i;
            continue;
        }
        // The line end: a CR before it, if any, belongs to it.
        e.fine = i < n && d[i] == '\r' ? i + 1 : i;
        if (e.fine - inizio > kMassimoRecord) return fallito("record too long");
        return e;
    }
}

void Letterale(const QByteArray& d, qsizetype inizio, qsizetype fine, char sep,
               std::vector<QByteArray>& campi) {
    campi.clear();
    for (const QByteArray& c : d.mid(inizio, fine - inizio).split(sep)) campi.push_back(c);
}

}  // namespace

QString NomeCodifica(Codifica c) {
    return c == Codifica::Utf8 ? QStringLiteral("UTF-8") : QStringLiteral("Windows-1252");
}

Testo TipoTesto(QByteArrayView byte) {
    bool alti = false;
    for (char c : byte)
        if (static_cast<unsigned char>(c) >= 0x80) {
            alti = true;
            break;
        }
    if (!alti) return Testo::Ascii;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString letto = utf8(byte);
    (void)letto;
    return utf8.hasError() ? Testo::NonUtf8 : Testo::Utf8;
}

QString Decodifica(QByteArrayView byte, Codifica c) {
    return c == Codifica::Utf8 ? QString::fromUtf8(byte) : DaCp1252(byte);
}

QString TestoCampo(QByteArrayView byte, Codifica c) {
    QString t = Decodifica(byte, c);
    t.remove(QChar(13));
    t.replace(QChar(10), QChar(32));
    return t.trimmed();
}

Record LeggiRecord(const QByteArray& dati, qsizetype inizio, qint64 riga, const Opzioni& o,
                   qsizetype* dopo) {
    Record r;
    r.riga = riga;
    r.inizio = inizio;
    const qsizetype fineRiga = FineRiga(dati, inizio);
    auto soloLaRiga = [&](const QString& errore) {
        r.errore = errore;
        r.campi.clear();
        r.righe = 1;
        r.fine = SenzaCr(dati, inizio, fineRiga);
        *dopo = fineRiga + 1;
        return r;
    };
    if (Bianca(dati, inizio, fineRiga)) {
        r.vuota = true;
        return soloLaRiga(QString());
    }
    if (fineRiga - inizio > kMassimoRecord)
        return soloLaRiga(QStringLiteral("line longer than %1 bytes (%2)")
                              .arg(kMassimoRecord)
                              .arg(fineRiga - inizio));
    Esito e = Quotato(dati, inizio, o.separatore, o.multiriga, r.campi);
    const bool numeroGiusto = o.campiAttesi == 0 || NumeroGiusto(r.campi, o.campiAttesi);
    if (!o.multiriga && (!e.ok || !numeroGiusto)) {
        std::vector<QByteArray> letterali;
        Letterale(dati, inizio, SenzaCr(dati, inizio, fineRiga), o.separatore, letterali);
        if (o.campiAttesi > 0 && NumeroGiusto(letterali, o.campiAttesi)) {
            r.campi = std::move(letterali);
            e = Esito{true, QString(), fineRiga, 1};
        }
    }
    if (!e.ok) return soloLaRiga(e.errore);
    r.righe = e.righe;
    r.fine = SenzaCr(dati, inizio, e.fine);
    *dopo = e.fine + 1;
    return r;
}

std::vector<Record> LeggiTutti(const QByteArray& dati, qsizetype inizio, qint64 riga,
                               const Opzioni& o) {
    std::vector<Record> record;
    qsizetype pos = inizio;
    while (pos < dati.size()) {
        qsizetype dopo = pos;
        record.push_back(LeggiRecord(dati, pos, riga, o, &dopo));
        riga += record.back().righe;
        pos = dopo;
    }
    return record;
}

}  // namespace setup::csv
