// CSV records out of bytes: quotes, doubled quotes and line breaks inside a field, any line
// end, the line numbers of every record, and a bound on a line's length so that a broken file
// cannot fill memory.

#include "LettoreCsv.h"

#include "Motivi.h"
#include "app/Cp1252.h"

#include <QStringDecoder>

namespace setup::csv {

namespace {

// Where the physical line that holds `da` ends: its CR or LF, or the end of the data. A
// CR alone ends a line too, as older spreadsheets write them.
qsizetype FineRiga(const QByteArray& d, qsizetype da) {
    for (qsizetype i = da; i < d.size(); ++i)
        if (d[i] == '\n' || d[i] == '\r') return i;
    return d.size();
}

// Past the line end at `fine`: CR LF, CR or LF.
qsizetype DopoFine(const QByteArray& d, qsizetype fine) {
    if (fine < d.size() && d[fine] == '\r' && fine + 1 < d.size() && d[fine + 1] == '\n')
        return fine + 2;
    return fine + 1;
}

bool Bianca(const QByteArray& d, qsizetype inizio, qsizetype fine) {
    for (qsizetype i = inizio; i < fine; ++i)
        if (d[i] != ' ' && d[i] != '\t') return false;
    return true;
}

bool NumeroGiusto(const std::vector<QByteArray>& campi, const Opzioni& o) {
    return CampiGiusti(qsizetype(campi.size()), !campi.empty() && campi.back().isEmpty(), o);
}

struct Esito {
    bool ok = true;
    QString errore;
    qsizetype fine = 0;  // the line end after the record, or the end of the data
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
    auto fallito = [&](const QString& perche) {
        e.ok = false;
        e.errore = perche;
        return e;
    };
    auto fineRiga = [&](qsizetype j) { return j >= n || d[j] == '\n' || d[j] == '\r'; };
    for (;;) {
        campo.clear();
        if (i < n && d[i] == '"') {
            ++i;
            for (;;) {
                if (i >= n || i - inizio > kMassimoRecord)
                    return fallito(motivo::VirgoletteAperte());
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
                if (c == '\n' || c == '\r') {
                    if (!multiriga) return fallito(motivo::VirgoletteAperte());
                    // CR LF is one line end.
                    if (c == '\r' || i == 0 || d[i - 1] != '\r') ++e.righe;
                }
                campo += c;
                ++i;
            }
            if (!fineRiga(i) && d[i] != sep) return fallito(motivo::TestoDopoVirgolette());
        } else {
            const qsizetype a = i;
            while (!fineRiga(i) && d[i] != sep) ++i;
            campo = d.mid(a, i - a);
        }
        campi.push_back(campo);
        if (i < n && d[i] == sep) {
            ++i;
            continue;
        }
        e.fine = i;
        if (e.fine - inizio > kMassimoRecord) return fallito(motivo::RecordTroppoLungo());
        return e;
    }
}

void Letterale(const QByteArray& d, qsizetype inizio, qsizetype fine, char sep,
               std::vector<QByteArray>& campi) {
    campi.clear();
    for (const QByteArray& c : d.mid(inizio, fine - inizio).split(sep)) campi.push_back(c);
}

}  // namespace

bool CampiGiusti(qsizetype campi, bool ultimoVuoto, const Opzioni& o) {
    const qsizetype attesi = o.campiAttesi;
    return campi == attesi || (campi == attesi + 1 && ultimoVuoto) ||
           (o.ultimoFacoltativo && campi == attesi - 1);
}

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
    t.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    t.replace(QChar(13), QChar(32));
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
        r.fine = fineRiga;
        *dopo = DopoFine(dati, fineRiga);
        return r;
    };
    if (Bianca(dati, inizio, fineRiga)) {
        r.vuota = true;
        return soloLaRiga(QString());
    }
    if (fineRiga - inizio > kMassimoRecord)
        return soloLaRiga(motivo::RigaTroppoLunga(kMassimoRecord, fineRiga - inizio));
    Esito e = Quotato(dati, inizio, o.separatore, o.multiriga, r.campi);
    const bool numeroGiusto = o.campiAttesi == 0 || NumeroGiusto(r.campi, o);
    if (!o.multiriga && (!e.ok || !numeroGiusto)) {
        std::vector<QByteArray> letterali;
        Letterale(dati, inizio, fineRiga, o.separatore, letterali);
        if (o.campiAttesi > 0 && NumeroGiusto(letterali, o)) {
            r.campi = std::move(letterali);
            e = Esito{true, QString(), fineRiga, 1};
        }
    }
    if (!e.ok) return soloLaRiga(e.errore);
    r.righe = e.righe;
    r.fine = e.fine;
    *dopo = DopoFine(dati, e.fine);
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
