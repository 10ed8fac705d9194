#include "data/RegoleCliente.h"

#include "ui/Valori.h"

#include <algorithm>

namespace {

bool SoloCifre(const QString& s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
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

bool CodiceFiscaleAccettabile(const QString& codiceFiscale) {
    const qsizetype n = codiceFiscale.size();
    return n == 0 || n >= 16 || (n == 11 && SoloCifre(codiceFiscale));
}

bool PartitaIvaAccettabile(const QString& partitaIva, const QString& nazione) {
    return partitaIva.isEmpty() || nazione != QLatin1String("IT") || partitaIva.size() == 11;
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
