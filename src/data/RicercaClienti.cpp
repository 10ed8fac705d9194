// The search query and its streaming cursor; the criteria's columns and the quoting of
// their values live here, the boxes that hold them in the search form.

#include "data/RicercaClienti.h"

#include "app/Valori.h"
#include "data/Sessione.h"

#include <algorithm>
#include <cstring>
#include <numeric>

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

// Two values as the query's ORDER BY compares them: null first, then the bytes of the text
// without its trailing blanks (the cells come without them).
int Confronta(QByteArrayView a, bool nullaA, QByteArrayView b, bool nullaB) {
    if (nullaA || nullaB) return int(nullaB) - int(nullaA);
    const int c = std::memcmp(a.data(), b.data(), size_t(std::min(a.size(), b.size())));
    if (c != 0 || a.size() == b.size()) return c;
    return a.size() < b.size() ? -1 : 1;
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
    nulle_.clear();
    completa_ = false;
    try {
        auto* db = s.EnvironmentSettings.CompanyDatabase.get();
        if (!db) throw motore::Errore(motore::ErrGenerico, QStringLiteral("Database chiuso."));
        rs_ = db->OpenSnapshot(query);
        versione_ = rs_->Versione();
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
            std::uint16_t nulle = 0;
            for (size_t c = 1; c < campi_.size(); ++c) {
                r.colonne[c] = rs.FieldUtf8(campi_[c], &r.nulle[c]);
                nulle |= std::uint16_t(r.nulle[c] << c);
                // A tab splits the grid's cell: the grid no longer holds the value.
                if (!r.colonne[c].isEmpty() &&
                    std::memchr(r.colonne[c].data(), '\t', size_t(r.colonne[c].size())))
                    versione_.clear();
            }
            nulle_.push_back(nulle);
            riga(r);
            // Past the row handed before a slice ends, so that the next one starts after it.
            rs.MoveNext();
            if ((n & 255) == 255 && basta && basta()) break;
        }
        if (rs.Eof()) {
            completa_ = !versione_.isEmpty();
            Chiudi();
        }
    } catch (const motore::Errore& e) {
        Chiudi();
        return CausaDi(e);
    }
    return std::nullopt;
}

bool CursoreRicerca::Invariata(Sessione& s) const {
    auto* db = s.EnvironmentSettings.CompanyDatabase.get();
    return completa_ && db && db->Invariato(versione_);
}

std::vector<int> CursoreRicerca::Riordina(int colonna, bool discendente,
                                          const std::function<QByteArrayView(int, int)>& cella) {
    // Grid column 1 is the name, which breaks the other columns' ties; the code breaks the
    // rest.
    struct Chiave {
        QByteArrayView valore, nome;
        qint32 codice;
        bool nullo, nomeNullo;
    };
    const size_t n = nulle_.size();
    std::vector<Chiave> chiavi(n);
    for (size_t r = 0; r < n; ++r) {
        const std::uint16_t nulle = nulle_[r];
        const int riga = int(r);
        chiavi[r] = {cella(riga, colonna), cella(riga, 1), cella(riga, 0).trimmed().toInt(),
                     bool(nulle >> colonna & 1u), bool(nulle & 2u)};
    }
    const bool perCodice = colonna < 1 || colonna >= kColonneRicerca;
    std::vector<int> ordine(n);
    std::iota(ordine.begin(), ordine.end(), 0);
    std::sort(ordine.begin(), ordine.end(), [&](int x, int y) {
        const Chiave& a = chiavi[size_t(x)];
        const Chiave& b = chiavi[size_t(y)];
        if (perCodice) return discendente ? a.codice > b.codice : a.codice < b.codice;
        int c = Confronta(a.valore, a.nullo, b.valore, b.nullo);
        if (discendente) c = -c;
        if (c == 0) c = Confronta(a.nome, a.nomeNullo, b.nome, b.nomeNullo);
        return c != 0 ? c < 0 : a.codice < b.codice;
    });
    std::vector<std::uint16_t> nulle(nulle_.size());
    for (size_t i = 0; i < ordine.size(); ++i) nulle[i] = nulle_[size_t(ordine[i])];
    nulle_ = std::move(nulle);
    return ordine;
}

void CursoreRicerca::Chiudi() {
    if (!rs_) return;
    try {
        rs_->Close();
    } catch (const motore::Errore&) {
    }
    rs_.reset();
}
