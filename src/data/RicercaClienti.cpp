// The search query and its streaming cursor; the criteria's columns and the quoting of
// their values live here, the boxes that hold them in the search form.

#include "data/RicercaClienti.h"

#include "app/Valori.h"
#include "data/Sessione.h"

#include <algorithm>

namespace {

struct Criterio {
    const char* colonna;
    int esattoDa;  // trimmed length from which the criterion is an equality; 0 never
    char virgoletta;
};

constexpr Criterio kCriteri[kCriteriRicerca + 1] = {
    {},
    {"CliPartitaIva", 11, '\''},
    {"CliCodiceFiscale", 16, '\''},
    {"CliRagSoc", 35, '"'},
    {"CliCap", 5, '\''},
    {"CliProvincia", 3, '\''},
    {"CliNazione", 3, '\''},
    {"CliTelefono", 0, '\''},
};

// The sort key of each grid column, and the column read into it.
constexpr const char* kOrdine[kColonneRicerca] = {
    "CliCodice",    "CliRagSoc",  "CliIndirizzo", "CliCap",        "CliLocalita",
    "CliProvincia", "CliNazione", "CliTelefono",  "CliPartitaIva", "CliCodiceFiscale"};
constexpr const char* kCampi[kColonneRicerca] = {
    "CliCodice",    "CliRagsoc",  "CliIndirizzo", "CliCap",        "CliLocalita",
    "CliProvincia", "CliNazione", "CliTelefono",  "CliPartitaIva", "CliCodiceFiscale"};

// The text of a whole number from 1 to 999,999,999 as the engines write one: shown as it
// comes, with no conversion through a number and a locale for every row.
bool NumeroSemplice(QByteArrayView v) {
    return !v.isEmpty() && v.size() <= 9 && v[0] != '0' &&
           std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

QString QueryRicerca(const std::array<QString, kCriteriRicerca + 1>& criteri, int colonnaOrdine,
                     bool discendente) {
    QString sql = QStringLiteral("SELECT * FROM Clienti ");
    QString connettore = QStringLiteral(" WHERE ");
    for (int i = 1; i <= kCriteriRicerca; ++i) {
        const Criterio& c = kCriteri[i];
        QString v = criteri[size_t(i)].trimmed();
        if (v.isEmpty()) continue;
        const qsizetype lunghezza = v.size();
        const QChar q = QChar::fromLatin1(c.virgoletta);
        v.replace(q, QString(2, q));
        const bool esatto = c.esattoDa > 0 && lunghezza >= c.esattoDa;
        sql += connettore + u'(' + QLatin1String(c.colonna) +
               (esatto ? QStringLiteral(" = ") : QStringLiteral(" LIKE ")) + q + v +
               (esatto ? QString() : QStringLiteral("*")) + q + u')';
        connettore = QStringLiteral(" AND ");
    }
    sql += QStringLiteral(" ORDER BY ");
    const int colonna = colonnaOrdine >= 0 && colonnaOrdine < kColonneRicerca ? colonnaOrdine : 0;
    sql += u' ' + QLatin1String(kOrdine[colonna]) +
           (discendente ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    if (colonna != 1) sql += QStringLiteral(", CliRagSoc ASC");
    return sql;
}

CursoreRicerca::CursoreRicerca() = default;

CursoreRicerca::~CursoreRicerca() {
    Chiudi();
}

Guasto CursoreRicerca::Apri(Sessione& s, const QString& query) {
    Chiudi();
    try {
        auto* db = s.EnvironmentSettings.CompanyDatabase.get();
        if (!db) throw motore::Errore(motore::ErrGenerico, QStringLiteral("Database chiuso."));
        rs_ = db->OpenSnapshot(query);
        for (size_t i = 0; i < campi_.size(); ++i)
            campi_[i] = rs_->FieldIndex(QLatin1String(kCampi[i]));
    } catch (const motore::Errore& e) {
        rs_.reset();
        return CausaDi(e);
    }
    return std::nullopt;
}

Guasto CursoreRicerca::Leggi(int massimo, const std::function<bool()>& basta,
                             const std::function<void(const RigaRicerca&)>& riga) {
    if (!rs_) return std::nullopt;
    motore::Recordset& rs = *rs_;
    RigaRicerca r;
    try {
        for (int n = 0; n < massimo && !rs.Eof(); ++n) {
            QByteArrayView numero = rs.FieldUtf8(campi_[0]);
            if (!NumeroSemplice(numero)) {
                const qint32 codice = InteroDa(rs.Field(campi_[0]));
                altroNumero_ = codice == 0 ? QByteArray() : QByteArray::number(codice);
                numero = altroNumero_;
            }
            r.colonne[0] = numero;
            for (size_t c = 1; c < campi_.size(); ++c)
                r.colonne[c] = rs.FieldUtf8(campi_[c], &r.nulle[c]);
            riga(r);
            // Past the row handed before a slice ends, so that the next one starts after it.
            rs.MoveNext();
            if ((n & 255) == 255 && basta && basta()) break;
        }
        if (rs.Eof()) Chiudi();
    } catch (const motore::Errore& e) {
        Chiudi();
        return CausaDi(e);
    }
    return std::nullopt;
}

void CursoreRicerca::Chiudi() {
    if (!rs_) return;
    try {
        rs_->Close();
    } catch (const motore::Errore&) {
    }
    rs_.reset();
}
