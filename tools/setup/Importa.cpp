// The import of a client list: read and checked whole before one transaction stores the
// accepted rows through the same row save as the client form; the rejects go to a file
// with their reasons.

#include "Importa.h"

#include "LettoreCsv.h"
#include "Motivi.h"
#include "app/Cp1252.h"
#include "app/Documenti.h"
#include "app/Valori.h"
#include "data/ClientRecord.h"
#include "data/Clienti.h"
#include "data/RegoleCliente.h"
#include "data/TabCodici.h"
#include "engine/Dialetto.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include <sys/stat.h>
#include <unistd.h>

namespace setup {

namespace {

using csv::Codifica;

// The columns of Clienti, in the table's order.
enum Colonna {
    Codice,
    Ragsoc,
    RagsocEstesa,
    Indirizzo,
    Localita,
    Cap,
    Provincia,
    Nazione,
    PartitaIva,
    CodiceFiscale,
    Categoria,
    Telefono,
    Contabile,
    Acronimo,
    EsenzioneNum,
    EsenzioneDat,
    kColonne,
    Ignorata = kColonne,
    Scarto,  // the reasons a rejects file gives beside its lines
};

const char* const kNomiColonne[kColonne] = {
    "CliCodice",     "CliRagsoc",        "CliRagsocEstesa", "CliIndirizzo",
    "CliLocalita",   "CliCap",           "CliProvincia",    "CliNazione",
    "CliPartitaIva", "CliCodiceFiscale", "CliCategoria",    "CliTelefono",
    "CliContabile",  "CliAcronimo",      "CliEsenzioneNum", "CliEsenzioneDat"};

// The headings of the search grid, as its export writes them.
const std::pair<const char*, Colonna> kIntestazioniRicerca[] = {
    {"CODICE", Codice},        {"RAGIONE SOCIALE", Ragsoc},
    {"INDIRIZZO", Indirizzo},  {"CAP", Cap},
    {"LOCALITA'", Localita},   {"PV", Provincia},
    {"NAZ", Nazione},          {"TELEFONO", Telefono},
    {"PART. IVA", PartitaIva}, {"CODICE FISCALE", CodiceFiscale}};

constexpr std::int32_t kUltimoCodice = std::numeric_limits<std::int32_t>::max() - 1;
constexpr qsizetype kMassimoFile = qsizetype(1) << 30;
constexpr qsizetype kMostraScarto = 2000;

struct Forma {
    QString descrizione;
    std::vector<Colonna> colonne;  // one per field of a line
    QStringList ignorate;
    char separatore = ';';
    bool multiriga = true;
    std::vector<QByteArray> intestazione;  // the heading's names as written
    bool separatoreFinale = false;         // after the heading's last name
    qsizetype scarto = -1;                 // the reasons' column, in a rejects file

    // A corrected line of a rejects file may have lost its reason.
    bool UltimoFacoltativo() const { return scarto == qsizetype(colonne.size()) - 1; }
};

QString NomeSeparatore(char s) {
    return s == '\t' ? QStringLiteral("tabulazione") : QStringLiteral("'%1'").arg(QLatin1Char(s));
}

bool ColonnaScarto(const QString& nome) {
    return nome.compare(QStringView(motivo::kColonna), Qt::CaseInsensitive) == 0;
}

// The heading's names, a final separator's empty name dropped.
std::optional<Forma> RiconosciForma(QStringList nomi, char sep) {
    Forma f;
    f.separatore = sep;
    if (!nomi.isEmpty() && nomi.back().isEmpty()) {
        nomi.removeLast();
        f.separatoreFinale = true;
    }
    if (nomi.isEmpty()) return std::nullopt;
    std::vector<bool> presa(kColonne + 2, false);
    // The reasons' column of a rejects file, in either shape.
    auto scarto = [&](const QString& n) {
        if (!ColonnaScarto(n) || presa[Scarto]) return false;
        presa[Scarto] = true;
        f.scarto = qsizetype(f.colonne.size());
        f.colonne.push_back(Scarto);
        return true;
    };
    bool ricerca = true;
    for (const QString& n : nomi) {
        if (scarto(n)) continue;
        auto it =
            std::find_if(std::begin(kIntestazioniRicerca), std::end(kIntestazioniRicerca),
                         [&](const auto& p) { return n.toUpper() == QLatin1String(p.first); });
        if (it == std::end(kIntestazioniRicerca) || presa[it->second]) {
            ricerca = false;
            break;
        }
        presa[it->second] = true;
        f.colonne.push_back(it->second);
    }
    if (ricerca && presa[Ragsoc]) {
        // The export's lines never break inside a field.
        f.multiriga = false;
        f.descrizione =
            QStringLiteral("l'esportazione del programma (intestazioni della griglia di ricerca)");
        return f;
    }
    f.colonne.clear();
    f.scarto = -1;
    presa.assign(kColonne + 2, false);
    for (const QString& n : nomi) {
        if (scarto(n)) continue;
        Colonna c = Ignorata;
        for (int i = 0; i < kColonne; ++i)
            if (n.compare(QLatin1String(kNomiColonne[i]), Qt::CaseInsensitive) == 0) c = Colonna(i);
        if (c != Ignorata && presa[c]) return std::nullopt;
        if (c == Ignorata)
            f.ignorate << (n.isEmpty() ? QStringLiteral("(senza nome)") : n);
        else
            presa[c] = true;
        f.colonne.push_back(c);
    }
    if (!presa[Ragsoc]) return std::nullopt;
    f.descrizione = QStringLiteral("i nomi delle colonne di Clienti");
    return f;
}

QString DecodificaProbabile(QByteArrayView byte) {
    return csv::Decodifica(
        byte, csv::TipoTesto(byte) == csv::Testo::NonUtf8 ? Codifica::Windows1252 : Codifica::Utf8);
}

// A date as spreadsheets and mdb-export write it: day first (d/m/y, d-m-y, d.m.y), ISO
// y-m-d, a time after it ignored; or a day number as the table keeps it. 0 for none.
std::optional<std::int32_t> DataEsenzione(const QString& testo) {
    if (testo.isEmpty()) return 0;
    // Only a time may follow: "31 12 2001" is no date, not the day 31.
    static const QRegularExpression kOra(
        QStringLiteral("^\\d{1,2}:\\d{2}(:\\d{2}(\\.\\d*)?)?(Z|[+-]\\d{2}:?\\d{2})?$"));
    QString t = testo;
    for (qsizetype i = 1; i < t.size(); ++i)
        if (t[i] == u' ' || t[i] == u'T') {
            if (!kOra.match(QStringView(t).mid(i + 1).trimmed()).hasMatch()) return std::nullopt;
            t.truncate(i);
            break;
        }
    bool numero = false;
    const qint64 giorno = t.toLongLong(&numero);
    if (numero) {
        if (giorno == 0) return 0;
        if (giorno < std::numeric_limits<std::int32_t>::min() ||
            giorno > std::numeric_limits<std::int32_t>::max() ||
            AnnoDi(giorno) == QLatin1String(" "))
            return std::nullopt;
        return std::int32_t(giorno);
    }
    for (QChar sep : {u'/', u'-', u'.'}) {
        const QStringList p = t.split(sep);
        if (p.size() != 3) continue;
        if (sep == u'-' && p[0].size() == 4) return GiornoEsenzione(p[2], p[1], p[0]);
        return GiornoEsenzione(p[0], p[1], p[2]);
    }
    return std::nullopt;
}

std::optional<std::int32_t> CodiceCliente(const QString& t) {
    if (t.isEmpty() || t == QLatin1String("0")) return 0;
    for (QChar c : t)
        if (c < u'0' || c > u'9') return std::nullopt;
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    if (!ok || n > kUltimoCodice) return std::nullopt;
    return std::int32_t(n);
}

// Why a fiscal code or a VAT number of the right length is refused.
struct Riga {
    qint64 numero = 0;
    ClientRecord r;  // CliCodice 0: a new code is to be taken
    bool tagliata = false;
    QString motivo;  // why it is rejected; empty while it is not
    csv::Record record;
    // As the form's boxes would hold them, before a save moves a foreign client's fiscal code.
    QString codiceFiscale, partitaIva;
};

// The client a line describes, through the rules the client form applies.
class Conversione {
  public:
    Conversione(motore::Database& tabelle, bool cifre)
        : nazioni_(tabelle.OpenTable(QStringLiteral("NAZIONI"))),
          province_(tabelle.OpenTable(QStringLiteral("PROVINCIE"))),
          cifre_(cifre) {}

    void Converti(Riga& riga, const std::vector<Colonna>& colonne, Codifica codifica) {
        QString v[kColonne];
        const csv::Record& rec = riga.record;
        for (size_t i = 0; i < colonne.size() && i < rec.campi.size(); ++i)
            if (colonne[i] < kColonne) v[colonne[i]] = csv::TestoCampo(rec.campi[i], codifica);
        for (int c = Ragsoc; c < kColonne; ++c) v[c] = Maiuscole(v[c]);
        QStringList motivi;
        ClientRecord& r = riga.r;
        auto testo = [&](auto& campo, Colonna c) {
            if (v[c].size() > campo.Larghezza) riga.tagliata = true;
            campo = v[c];
        };

        if (const auto codice = CodiceCliente(v[Codice]))
            r.CliCodice = *codice;
        else
            motivi << motivo::CodiceNonValido(v[Codice], kUltimoCodice);
        if (v[Ragsoc].isEmpty()) motivi << motivo::SenzaRagioneSociale();
        if (const Difetto d = DifettoCodiceFiscale(v[CodiceFiscale], cifre_); d != Difetto::Nessuno)
            motivi << motivo::CodiceFiscaleErrato(v[CodiceFiscale], d);
        else if (v[CodiceFiscale].size() > r.CliCodiceFiscale.Larghezza)
            motivi << motivo::TroppoLungo(false, v[CodiceFiscale], r.CliCodiceFiscale.Larghezza);
        const QString nazione = NazioneCliente(v[Nazione], [this](QString& n) { return Iso(n); });
        if (nazione.isEmpty()) motivi << motivo::NazioneAssente(v[Nazione]);
        if (const Difetto d = nazione.isEmpty() ? Difetto::Nessuno
                                                : DifettoPartitaIva(v[PartitaIva], nazione, cifre_);
            d != Difetto::Nessuno)
            motivi << motivo::PartitaIvaErrata(v[PartitaIva], d);
        else if (v[PartitaIva].size() > r.CliPartitaIva.Larghezza)
            motivi << motivo::TroppoLungo(true, v[PartitaIva], r.CliPartitaIva.Larghezza);
        if (!v[Provincia].isEmpty() && !ProvinciaNota(v[Provincia]))
            motivi << motivo::ProvinciaAssente(v[Provincia]);
        const auto data = DataEsenzione(v[EsenzioneDat]);
        if (!data) motivi << motivo::DataInesistente(v[EsenzioneDat]);
        if (!motivi.isEmpty()) {
            riga.motivo = motivi.join(QStringLiteral("; "));
            return;
        }

        testo(r.CliRagsoc, Ragsoc);
        testo(r.CliRagsocEstesa, RagsocEstesa);
        testo(r.CliIndirizzo, Indirizzo);
        testo(r.CliLocalita, Localita);
        testo(r.CliCap, Cap);
        testo(r.CliProvincia, Provincia);
        r.CliNazione = nazione;
        testo(r.CliPartitaIva, PartitaIva);
        testo(r.CliCodiceFiscale, CodiceFiscale);
        riga.partitaIva = r.CliPartitaIva.trimmed();
        riga.codiceFiscale = r.CliCodiceFiscale.trimmed();
        testo(r.CliCategoria, Categoria);
        testo(r.CliTelefono, Telefono);
        testo(r.CliContabile, Contabile);
        testo(r.CliAcronimo, Acronimo);
        testo(r.CliEsenzioneNum, EsenzioneNum);
        r.CliEsenzioneDat = *data;
        CompletaCliente(r);
    }

  private:
    // A list repeats a few nations and provinces many times: each is looked up once.
    QString Iso(QString& nazione) {
        auto it = iso_.find(nazione);
        if (it == iso_.end()) {
            QString n = nazione;
            it = iso_.insert(nazione, IsoNazione(*nazioni_, n));
        }
        return *it;
    }
    bool ProvinciaNota(const QString& p) {
        auto it = provinceNote_.find(p);
        if (it == provinceNote_.end()) it = provinceNote_.insert(p, CercaCodice(*province_, p));
        return *it;
    }

    std::unique_ptr<motore::Recordset> nazioni_;
    std::unique_ptr<motore::Recordset> province_;
    QHash<QString, QString> iso_;
    QHash<QString, bool> provinceNote_;
    bool cifre_;
};

// The fiscal codes and VAT numbers held by the company's clients and by the lines accepted so
// far, kept as the engine compares them, so that a line is checked as the client form checks
// a field: against every other holder, found where the form looks for one.
class Detentori {
  public:
    struct Trovato {
        bool memorizzato = false;
        std::int32_t codice = 0;  // a stored client's
        size_t riga = 0;          // else the index of the accepted line
        std::string valore;
        qint64 quanti = 0;
        bool perPartitaIva = false;  // the column it holds the value in
    };

    void Memorizzato(bool perPartitaIva, const QString& valore, std::int32_t codice) {
        std::string k = Chiave(valore);
        if (!k.empty()) colonne_[perPartitaIva].memorizzati.emplace_back(std::move(k), codice);
    }
    void Ordina() {
        for (auto& c : colonne_) std::sort(c.memorizzati.begin(), c.memorizzati.end());
    }
    void Accettata(bool perPartitaIva, const QString& valore, size_t riga) {
        std::string k = Chiave(valore);
        if (!k.empty()) colonne_[perPartitaIva].righe.emplace(std::move(k), riga);
    }

    // The first holder in the column's order, stored before accepted on a tie; how many. A
    // holder with the number in both columns is one holder.
    std::optional<Trovato> Cerca(const RicercaDetentori& r) const {
        const std::string da = Chiave(r.da), a = Chiave(r.a);
        std::optional<Trovato> primo;
        std::set<std::int32_t> codici;
        std::set<size_t> righe;
        auto Ordine = [](const Trovato& t) {
            return std::make_tuple(std::cref(t.valore), !t.memorizzato,
                                   t.memorizzato ? qint64(t.codice) : qint64(t.riga));
        };
        auto Considera = [&](Trovato t) {
            if (!primo || Ordine(t) < Ordine(*primo)) primo = std::move(t);
        };
        for (const bool iva : {true, false}) {
            if (iva != r.perPartitaIva && !r.InEntrambe()) continue;
            const Colonna& c = colonne_[iva];
            for (auto it =
                     std::lower_bound(c.memorizzati.begin(), c.memorizzati.end(),
                                      std::make_pair(da, std::numeric_limits<std::int32_t>::min()));
                 it != c.memorizzati.end() && it->first <= a; ++it)
                if (codici.insert(it->second).second)
                    Considera(Trovato{true, it->second, 0, it->first, 0, iva});
            for (auto it = c.righe.lower_bound(da); it != c.righe.end() && it->first <= a; ++it)
                if (righe.insert(it->second).second)
                    Considera(Trovato{false, 0, it->second, it->first, 0, iva});
        }
        if (primo) primo->quanti = qint64(codici.size() + righe.size());
        return primo;
    }

  private:
    static std::string Chiave(const QString& valore) {
        return motore::TestoConfrontato(valore).toStdString();
    }
    struct Colonna {
        std::vector<std::pair<std::string, std::int32_t>> memorizzati;  // sorted
        std::multimap<std::string, size_t> righe;
    };
    Colonna colonne_[2];  // fiscal codes, VAT numbers
};

// What tells that a file changed under the reader: which file it is, its size and its time.
struct Impronta {
    quint64 dispositivo = 0, inode = 0;
    qint64 dimensione = -1, secondi = 0, nanosecondi = 0;
    bool operator==(const Impronta&) const = default;
};

std::optional<Impronta> ImprontaDi(int fd, const QString& percorso = {}) {
    struct stat st {};
    const int esito =
        percorso.isNull() ? fstat(fd, &st) : stat(QFile::encodeName(percorso).constData(), &st);
    if (esito != 0) return std::nullopt;
    return Impronta{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                    qint64(st.st_mtim.tv_sec), qint64(st.st_mtim.tv_nsec)};
}

QString FileScarti(const QString& file) {
    return file + QStringLiteral(".scarti.csv");
}

// A rejects file left from an earlier run says nothing about this one. Only the operator's
// own is removed: a name is unlinked, never followed.
void RimuoviScarti(const QString& file) {
    const QByteArray nome = QFile::encodeName(FileScarti(file));
    struct stat st {};
    if (lstat(nome.constData(), &st) == 0 && st.st_uid == geteuid() &&
        (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
        unlink(nome.constData());
}

QByteArray Codificato(const QString& testo, Codifica c) {
    return c == Codifica::Utf8 ? testo.toUtf8() : Cp1252(testo);
}

// One field as the list writes it: in quotes when it holds the separator, a quote or a line
// break. A NUL, which would make the whole file binary, shows as "?".
QString Campo(QString t, char sep) {
    t.replace(QChar(0), u'?');
    if (!t.contains(QLatin1Char(sep)) && !t.contains(u'"') && !t.contains(u'\n') &&
        !t.contains(u'\r'))
        return t;
    return u'"' + t.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// The rejects file: the list's heading and its rejected lines in the list's own shape and
// encoding, each with its reason in a last column that the import ignores, so that the file,
// once corrected, imports as it stands. A reason an earlier run put there is replaced.
QByteArray TestoScarti(const QByteArray& dati, const Forma& f, Codifica codifica,
                       const QByteArray& fineRiga, const std::vector<const Riga*>& scartate) {
    const QString sep(QLatin1Char(f.separatore));
    const QString coda = f.separatoreFinale ? sep : QString();
    auto riga = [&](QStringList campi, const QString& motivo) {
        for (QString& c : campi) c = Campo(c, f.separatore);
        campi << Campo(motivo, f.separatore);
        return Codificato(campi.join(sep) + coda, codifica) + fineRiga;
    };
    QStringList nomi;
    for (size_t i = 0; i < f.intestazione.size(); ++i)
        if (qsizetype(i) != f.scarto) nomi << DecodificaProbabile(f.intestazione[i]);
    QByteArray testo = codifica == Codifica::Utf8 ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    testo += riga(nomi, QString::fromUtf16(motivo::kColonna));

    const qsizetype attesi = qsizetype(f.colonne.size());
    for (const Riga* r : scartate) {
        const csv::Record& rec = r->record;
        const QString motivo = motivo::ConRiga(r->numero, r->motivo);
        const QByteArrayView byte(dati.constData() + rec.inizio, rec.fine - rec.inizio);
        const Codifica propria =
            csv::TipoTesto(byte) == csv::Testo::NonUtf8 ? Codifica::Windows1252 : Codifica::Utf8;
        if (!rec.errore.isEmpty()) {
            // Not split into fields: the text as it stands, the start of a line too long to
            // import in any case.
            QString t = csv::Decodifica(byte.first(std::min(byte.size(), kMostraScarto)), propria);
            if (byte.size() > kMostraScarto)
                t += QStringLiteral("...");
            else if (const qsizetype ultimo = t.lastIndexOf(sep);
                     f.scarto >= 0 && ultimo >= 0 && motivo::DiUnaRiga(t.mid(ultimo + 1)))
                t.truncate(ultimo);
            t.replace(QChar(0), u'?');
            testo += Codificato(t + sep, codifica) + riga({}, motivo);
            continue;
        }
        std::vector<QByteArray> campi = rec.campi;
        if (qsizetype(campi.size()) == attesi + 1 && campi.back().isEmpty()) campi.pop_back();
        if (f.scarto >= 0 && qsizetype(campi.size()) == attesi)
            campi.erase(campi.begin() + f.scarto);
        else if (f.scarto == attesi - 1 && !campi.empty() &&
                 motivo::DiUnaRiga(csv::Decodifica(campi.back(), propria)))
            campi.pop_back();  // fields too many or too few, the last of them our reason
        QStringList testi;
        for (const QByteArray& c : campi) testi << csv::Decodifica(c, propria);
        testo += riga(testi, motivo);
    }
    return testo;
}

qint64 RigaDi(const QByteArray& dati, qsizetype pos) {
    qint64 riga = 1;
    for (qsizetype i = 0; i < pos && i < dati.size(); ++i)
        if (dati[i] == '\n' ? i == 0 || dati[i - 1] != '\r' : dati[i] == '\r') ++riga;
    return riga;
}

// The line end the list uses after its heading; CR LF when it has none.
QByteArray FineRigaDopo(const QByteArray& dati, qsizetype fine) {
    if (fine < dati.size() && dati[fine] == '\r')
        return fine + 1 < dati.size() && dati[fine + 1] == '\n' ? QByteArray("\r\n")
                                                                : QByteArray("\r");
    return fine < dati.size() ? QByteArray("\n") : QByteArray("\r\n");
}

EsitoImport Importa(motore::Workspace& ws, motore::Database& ditta, motore::Database& tabelle,
                    const QString& file, const Avanzamento& avanzamento, bool cifre) {
    auto avanza = [&](const char* fase, qint64 fatte, qint64 totale) {
        if (avanzamento && (fatte % 1000 == 0 || fatte == totale)) avanzamento(fase, fatte, totale);
    };
    QFile f(file);
    // Qt words a folder in English; the tool speaks Italian.
    if (QFileInfo(file).isDir()) throw std::runtime_error(motivo::UnaCartella(file).toStdString());
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error(motivo::NonLeggibile(file, f.errorString()).toStdString());
    // A list still being written would give its half-written last line as a client.
    const std::optional<Impronta> impronta = ImprontaDi(f.handle());
    if (impronta && impronta->dimensione > kMassimoFile)
        throw std::runtime_error(motivo::TroppoGrande(file).toStdString());
    const QByteArray dati = f.read(kMassimoFile + 1);
    if (f.error() != QFileDevice::NoError)
        throw std::runtime_error(motivo::NonLeggibile(file, f.errorString()).toStdString());
    auto cambiata = [&] {
        const std::optional<Impronta> ora = ImprontaDi(f.handle());
        return !impronta || ora != impronta || ImprontaDi(-1, file) != impronta ||
               qint64(dati.size()) != impronta->dimensione;
    };
    if (cambiata()) throw std::runtime_error(motivo::ListaCambiata().toStdString());
    auto rifiuta = [&](qint64 riga, const QString& motivo) { throw FileRifiutato(riga, motivo); };

    qsizetype inizio = 0;
    bool bom = false;
    if (dati.startsWith("\xEF\xBB\xBF")) {
        inizio = 3;
        bom = true;
    } else if (dati.startsWith("\xFF\xFE") || dati.startsWith("\xFE\xFF")) {
        rifiuta(1, motivo::Utf16());
    }
    if (const qsizetype nul =
            QByteArrayView(dati).first(std::min(dati.size(), csv::kMassimoRecord)).indexOf('\0');
        nul >= 0)
        rifiuta(RigaDi(dati, nul), motivo::Binario());

    // The heading: the first line that is not blank.
    qint64 riga = 1;
    csv::Record intestazione;
    for (;;) {
        if (inizio >= dati.size()) rifiuta(riga, motivo::FileVuoto());
        qsizetype dopo = inizio;
        intestazione = csv::LeggiRecord(dati, inizio, riga, {';', false, 0}, &dopo);
        if (!intestazione.vuota) break;
        inizio = dopo;
        ++riga;
    }
    qsizetype dopoIntestazione = inizio;
    std::optional<Forma> forma;
    for (char sep : {';', ',', '\t'}) {
        const csv::Record r =
            csv::LeggiRecord(dati, inizio, riga, {sep, false, 0}, &dopoIntestazione);
        if (!r.errore.isEmpty()) continue;
        QStringList nomi;
        for (const QByteArray& c : r.campi) nomi << DecodificaProbabile(c).trimmed();
        if ((forma = RiconosciForma(nomi, sep))) {
            forma->intestazione = r.campi;
            if (forma->separatoreFinale) forma->intestazione.pop_back();
            intestazione = r;
            break;
        }
    }
    if (!forma)
        rifiuta(riga, intestazione.errore.isEmpty() ? motivo::IntestazioneSconosciuta()
                                                    : motivo::Intestazione(intestazione.errore));

    const csv::Opzioni opzioni{forma->separatore, forma->multiriga,
                               qsizetype(forma->colonne.size()), forma->UltimoFacoltativo()};
    std::vector<csv::Record> record = csv::LeggiTutti(dati, dopoIntestazione, riga + 1, opzioni);

    // One encoding for the whole file: the one most of its lines are in.
    qint64 utf8 = 0, altre = 0;
    std::vector<csv::Testo> tipi(record.size(), csv::Testo::Ascii);
    for (size_t i = 0; i < record.size(); ++i) {
        if (record[i].vuota) continue;
        tipi[i] = csv::TipoTesto(
            QByteArrayView(dati.constData() + record[i].inizio, record[i].fine - record[i].inizio));
        utf8 += tipi[i] == csv::Testo::Utf8;
        altre += tipi[i] == csv::Testo::NonUtf8;
    }
    const Codifica codifica = bom || utf8 >= altre ? Codifica::Utf8 : Codifica::Windows1252;

    EsitoImport esito;
    esito.forma = forma->descrizione + QStringLiteral(", separatore ") +
                  NomeSeparatore(forma->separatore) + QStringLiteral(", ") +
                  csv::NomeCodifica(codifica);
    esito.colonneIgnorate = forma->ignorate;

    std::vector<Riga> righe;
    righe.reserve(record.size());
    Conversione conversione(tabelle, cifre);
    const qint64 totale = qint64(record.size());
    for (size_t i = 0; i < record.size(); ++i) {
        avanza("lettura", qint64(i + 1), totale);
        csv::Record& rec = record[i];
        if (rec.vuota) {
            ++esito.vuote;
            continue;
        }
        Riga voce;
        voce.numero = rec.riga;
        voce.record = std::move(rec);
        const std::vector<QByteArray>& campi = voce.record.campi;
        const QByteArrayView byte(dati.constData() + voce.record.inizio,
                                  voce.record.fine - voce.record.inizio);
        if (!voce.record.errore.isEmpty()) {
            voce.motivo = voce.record.errore;
        } else if (byte.contains('\0')) {
            voce.motivo = motivo::ByteNul();
        } else if (std::all_of(campi.begin(), campi.end(),
                               [](const QByteArray& c) { return c.trimmed().isEmpty(); })) {
            ++esito.vuote;
            continue;
        } else if (!csv::CampiGiusti(qsizetype(campi.size()), campi.back().isEmpty(), opzioni) ||
                   // A line short of its reason may not keep one in a column of data.
                   (forma->UltimoFacoltativo() && qsizetype(campi.size()) < opzioni.campiAttesi &&
                    motivo::DiUnaRiga(csv::TestoCampo(campi.back(), Codifica::Utf8)))) {
            voce.motivo = motivo::NumeroCampi(qsizetype(campi.size()), opzioni.campiAttesi);
        } else if (tipi[i] != csv::Testo::Ascii &&
                   (tipi[i] == csv::Testo::Utf8) != (codifica == Codifica::Utf8)) {
            voce.motivo = tipi[i] == csv::Testo::Utf8 ? motivo::Utf8TraWindows1252()
                                                      : motivo::NonUtf8TraUtf8();
        } else {
            conversione.Converti(voce, forma->colonne, codifica);
        }
        righe.push_back(std::move(voce));
    }

    ws.BeginTrans();
    try {
        auto clienti = ditta.OpenTable(QStringLiteral("Clienti"));
        // Read inside the transaction, which holds the write lock: no other program can take
        // a code, a fiscal code or a VAT number between this look and the writes.
        std::unordered_set<std::int32_t> memorizzati;
        Detentori detentori;
        {
            auto rs = ditta.OpenSnapshot(
                QStringLiteral("SELECT CliCodice, CliPartitaIva, CliCodiceFiscale FROM Clienti"));
            while (!rs->Eof()) {
                const std::int32_t codice = InteroDa(rs->Field(0));
                memorizzati.insert(codice);
                detentori.Memorizzato(true, QString::fromUtf8(rs->FieldUtf8(1)), codice);
                detentori.Memorizzato(false, QString::fromUtf8(rs->FieldUtf8(2)), codice);
                rs->MoveNext();
            }
            rs->Close();
        }
        detentori.Ordina();
        // New codes follow every free code the list gives.
        std::int32_t massimo = CodiceMassimo(*clienti);
        for (const Riga& r : righe)
            if (r.motivo.isEmpty() && !memorizzati.count(r.r.CliCodice))
                massimo = std::max(massimo, r.r.CliCodice);

        auto detentore = [&](const Detentori::Trovato& t) {
            motivo::Detentore d;
            d.perPartitaIva = t.perPartitaIva;
            d.valore = QString::fromStdString(t.valore);
            d.altri = t.quanti - 1;
            if (t.memorizzato) {
                d.codice = t.codice;
                clienti->Seek(QStringLiteral("="), {t.codice});
                if (!clienti->NoMatch())
                    d.nome = clienti->Field(QStringLiteral("CliRagsoc")).toString();
            } else {
                const Riga& altra = righe[t.riga];
                d.codice = altra.r.CliCodice;
                d.nome = altra.r.CliRagsoc.trimmed();
                d.riga = altra.numero;
            }
            return d;
        };
        std::unordered_map<std::int32_t, qint64> usati;
        for (size_t i = 0; i < righe.size(); ++i) {
            Riga& r = righe[i];
            const std::int32_t codice = r.r.CliCodice;
            if (!r.motivo.isEmpty()) continue;
            if (codice != 0 && memorizzati.count(codice)) {
                r.motivo = motivo::CodiceMemorizzato(codice);
                continue;
            }
            if (auto it = usati.find(codice); it != usati.end()) {
                r.motivo = motivo::CodiceGiaInRiga(codice, it->second);
                continue;
            }
            // As the form refuses a fiscal code or a VAT number another client holds.
            QStringList motivi;
            if (!r.codiceFiscale.isEmpty()) {
                const RicercaDetentori ricerca = DetentoriDi(r.codiceFiscale);
                if (const auto t = detentori.Cerca(ricerca))
                    motivi << motivo::CodiceFiscaleDi(r.codiceFiscale, detentore(*t));
            }
            if (!r.partitaIva.isEmpty()) {
                const RicercaDetentori ricerca = DetentoriDi(r.partitaIva);
                auto t = detentori.Cerca(ricerca);
                // One with letters, a foreign one, the form seeks among the fiscal codes;
                // held as a VAT number it is the same number all the same.
                if (!t && !ricerca.perPartitaIva)
                    t = detentori.Cerca({true, true, r.partitaIva, r.partitaIva});
                if (t) motivi << motivo::PartitaIvaDi(r.partitaIva, detentore(*t));
            }
            if (!motivi.isEmpty()) {
                r.motivo = motivi.join(QStringLiteral("; "));
                continue;
            }
            if (codice == 0) {
                if (massimo >= kUltimoCodice) {
                    r.motivo = motivo::NessunCodiceLibero();
                    continue;
                }
                r.r.CliCodice = ++massimo;
            }
            usati.emplace(r.r.CliCodice, r.numero);
            detentori.Accettata(true, r.r.CliPartitaIva.trimmed(), i);
            detentori.Accettata(false, r.r.CliCodiceFiscale.trimmed(), i);
        }

        std::vector<const Riga*> scartate;
        for (const Riga& r : righe) {
            ++esito.lette;
            if (r.motivo.isEmpty()) continue;
            ++esito.scartate;
            scartate.push_back(&r);
        }
        // Written whole before anything is stored, put in place only once the rows are: a line
        // that cannot be reported is not dropped.
        std::optional<NuovoDocumento> documento;
        auto nonScritto = [&] {
            return std::runtime_error(
                QStringLiteral("impossibile scrivere il file degli scarti %1: %2")
                    .arg(QDir::toNativeSeparators(esito.fileScarti), documento->Causa())
                    .toStdString());
        };
        if (!scartate.empty()) {
            esito.fileScarti = FileScarti(file);
            documento.emplace(esito.fileScarti);
            if (!documento->Apri() ||
                !documento->Scrivi(TestoScarti(dati, *forma, codifica,
                                               FineRigaDopo(dati, intestazione.fine), scartate)))
                throw nonScritto();
        }

        const qint64 daScrivere = esito.lette - esito.scartate;
        // The codes were checked free above, under the lock this transaction holds.
        ModoSalvataggio modo;
        modo.codiceVerificato = true;
        for (Riga& r : righe) {
            if (!r.motivo.isEmpty()) continue;
            const EsitoSalvataggio scritto = ScriviNellaTransazione(*clienti, r.r, modo);
            if (!scritto.Scritto())
                throw motore::Errore(scritto.causa.numero, scritto.causa.descrizione);
            ++esito.importate;
            esito.tagliate += r.tagliata;
            avanza("scrittura", esito.importate, daScrivere);
        }
        clienti->Close();
        if (cambiata()) throw std::runtime_error(motivo::ListaCambiata().toStdString());
        if (documento && !documento->Concludi()) throw nonScritto();
        ws.CommitTrans();
    } catch (...) {
        ws.Rollback();
        throw;
    }
    if (esito.fileScarti.isEmpty()) RimuoviScarti(file);
    return esito;
}

}  // namespace

EsitoImport ImportaClienti(motore::Workspace& ws, motore::Database& ditta,
                           motore::Database& tabelle, const QString& file,
                           const Avanzamento& avanzamento, bool cifre) {
    try {
        return Importa(ws, ditta, tabelle, file, avanzamento, cifre);
    } catch (const motore::Errore& e) {
        // Nothing stored: rejects beside the list, corrected and imported alone, would
        // leave its other lines out. A COMMIT with no answer may have stored them all.
        if (!e.EsitoIgnoto()) RimuoviScarti(file);
        throw;
    } catch (...) {
        RimuoviScarti(file);
        throw;
    }
}

DatabaseAzienda ApriAzienda(motore::Workspace& ws, const QString& server, const QString& radice,
                            const QString& azienda) {
    const QString r = radice.isEmpty() || radice.endsWith(u'/') ? radice : radice + u'/';
    DatabaseAzienda d;
    d.ditta = ws.OpenDatabase(motore::PercorsoDitta(server, r, azienda));
    d.tabelle = ws.OpenDatabase(motore::PercorsoTabelle(server, r));
    return d;
}

int ComandoImporta(const QString& server, const QString& radice, const QString& azienda,
                   const QString& file, QTextStream& out, QTextStream& err,
                   const Avanzamento& avanzamento, bool cifre) {
    auto errore = [&](const QString& testo) {
        err << "errore: " << testo << "\n";
        err.flush();
        return 1;
    };
    const QString nulla = QStringLiteral("; nulla importato");
    try {
        motore::Workspace ws(server);
        // Bulk work: the server may take minutes over it.
        ws.ImpostaScadenza(10 * 60 * 1000);
        DatabaseAzienda db = ApriAzienda(ws, server, radice, azienda);
        QElapsedTimer tempo;
        tempo.start();
        const EsitoImport e = ImportaClienti(ws, *db.ditta, *db.tabelle, file, avanzamento, cifre);
        out << "letto: " << QDir::toNativeSeparators(file) << " come " << e.forma << "\n";
        if (!e.colonneIgnorate.isEmpty())
            out << "colonne ignorate: " << e.colonneIgnorate.join(QStringLiteral(", ")) << "\n";
        out << "righe lette: " << e.lette << ", importate: " << e.importate
            << ", scartate: " << e.scartate << " (" << tempo.elapsed() << " ms)\n";
        if (e.vuote > 0) out << "righe vuote saltate: " << e.vuote << "\n";
        if (e.tagliate > 0)
            out << "righe importate con un testo tagliato alla larghezza della colonna: "
                << e.tagliate << "\n";
        out.flush();
        if (e.scartate > 0)
            return errore((e.scartate == 1 ? QStringLiteral("1 riga scartata, col suo motivo,")
                                           : QStringLiteral("%1 righe scartate, ciascuna col suo "
                                                            "motivo,")
                                                 .arg(e.scartate)) +
                          QStringLiteral(" in %1").arg(QDir::toNativeSeparators(e.fileScarti)));
        return 0;
    } catch (const FileRifiutato& r) {
        return errore(
            QStringLiteral("%1 riga %2: %3")
                .arg(QDir::toNativeSeparators(file), QString::number(r.Riga()), r.Motivo()) +
            nulla);
    } catch (const motore::Errore& e) {
        if (e.EsitoIgnoto())
            return errore(e.Spiegazione() +
                          QStringLiteral("; non è noto se l'elenco sia stato importato: "
                                         "controllare i clienti prima di importarlo di nuovo"));
        return errore(e.Spiegazione() + nulla);
    } catch (const std::exception& e) {
        return errore(QString::fromStdString(e.what()) + nulla);
    }
}

Avanzamento AvanzamentoSuTerminale() {
    auto tempo = std::make_shared<QElapsedTimer>();
    tempo->start();
    return [tempo](const char* fase, qint64 fatte, qint64 totale) {
        const bool fine = fatte == totale;
        if (!fine && tempo->elapsed() < 200) return;
        tempo->restart();
        std::fprintf(stderr, "\r%s %lld/%lld%s", fase, static_cast<long long>(fatte),
                     static_cast<long long>(totale), fine ? "\n" : "   ");
        std::fflush(stderr);
    };
}

}  // namespace setup
