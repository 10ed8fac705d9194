#include "Importa.h"

#include "LettoreCsv.h"
#include "data/ClientRecord.h"
#include "data/Clienti.h"
#include "data/RegoleCliente.h"
#include "data/TabCodici.h"
#include "ui/Valori.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>

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
};

QString NomeSeparatore(char s) {
    return s == '\t' ? QStringLiteral("tab") : QStringLiteral("'%1'").arg(QLatin1Char(s));
}

// The heading's names, a final separator's empty name dropped.
std::optional<Forma> RiconosciForma(QStringList nomi, char sep) {
    if (!nomi.isEmpty() && nomi.back().isEmpty()) nomi.removeLast();
    if (nomi.isEmpty()) return std::nullopt;
    Forma f;
    f.separatore = sep;
    std::vector<bool> presa(kColonne, false);
    bool ricerca = true;
    for (const QString& n : nomi) {
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
        f.descrizione = QStringLiteral("the program's export (search grid headings)");
        return f;
    }
    f.colonne.clear();
    presa.assign(kColonne, false);
    for (const QString& n : nomi) {
        Colonna c = Ignorata;
        for (int i = 0; i < kColonne; ++i)
            if (n.compare(QLatin1String(kNomiColonne[i]), Qt::CaseInsensitive) == 0) c = Colonna(i);
        if (c != Ignorata && presa[c]) return std::nullopt;
        if (c == Ignorata)
            f.ignorate << (n.isEmpty() ? QStringLiteral("(no name)") : n);
        else
            presa[c] = true;
        f.colonne.push_back(c);
    }
    if (!presa[Ragsoc]) return std::nullopt;
    f.descrizione = QStringLiteral("Clienti column names");
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
    QString t = testo;
    for (qsizetype i = 1; i < t.size(); ++i)
        if (t[i] == u' ' || t[i] == u'T') {
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
QString MotivoCifre(const QString& nome, const QString& valore, Difetto d) {
    if (d == Difetto::Ufficio)
        return QStringLiteral("%1 %2: codice ufficio %3 inesistente")
            .arg(nome, valore, valore.mid(7, 3));
    return nome + u' ' + valore +
           (valore.size() == 16 ? QStringLiteral(": carattere di controllo errato")
                                : QStringLiteral(": cifra di controllo errata"));
}

struct Riga {
    qint64 numero = 0;
    ClientRecord r;  // CliCodice 0: a new code is to be taken
    bool tagliata = false;
    QString motivo;  // why it is rejected; empty while it is not
    csv::Record record;
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
            if (colonne[i] != Ignorata) v[colonne[i]] = csv::TestoCampo(rec.campi[i], codifica);
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
            motivi << QStringLiteral("code %1 is not a whole number from 1 to %2")
                          .arg(v[Codice])
                          .arg(kUltimoCodice);
        if (v[Ragsoc].isEmpty()) motivi << QStringLiteral("no company name");
        if (const Difetto d = DifettoCodiceFiscale(v[CodiceFiscale], cifre_);
            d == Difetto::Lunghezza)
            motivi << QStringLiteral("fiscal code %1 has neither 16 characters nor 11 digits")
                          .arg(v[CodiceFiscale]);
        else if (d != Difetto::Nessuno)
            motivi << MotivoCifre(QStringLiteral("codice fiscale"), v[CodiceFiscale], d);
        const QString nazione = NazioneCliente(v[Nazione], [this](QString& n) { return Iso(n); });
        if (nazione.isEmpty()) motivi << QStringLiteral("nation %1 not in NAZIONI").arg(v[Nazione]);
        if (const Difetto d = nazione.isEmpty() ? Difetto::Nessuno
                                                : DifettoPartitaIva(v[PartitaIva], nazione, cifre_);
            d == Difetto::Lunghezza)
            motivi
                << QStringLiteral("Italian VAT number %1 has not 11 characters").arg(v[PartitaIva]);
        else if (d != Difetto::Nessuno)
            motivi << MotivoCifre(QStringLiteral("partita IVA"), v[PartitaIva], d);
        if (!v[Provincia].isEmpty() && !ProvinciaNota(v[Provincia]))
            motivi << QStringLiteral("province %1 not in PROVINCIE").arg(v[Provincia]);
        const auto data = DataEsenzione(v[EsenzioneDat]);
        if (!data)
            motivi << QStringLiteral("exemption date %1 does not exist").arg(v[EsenzioneDat]);
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

QString Quotato(const QString& t) {
    QString q = t;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

QString FileScarti(const QString& file) {
    return file + QStringLiteral(".scarti.csv");
}

// The rejects file: line, reason and the line's text, ";"-separated UTF-8 that spreadsheets
// open as such. Written whole or not at all.
void ScriviScarti(const QString& percorso, const std::vector<std::pair<qint64, QString>>& motivi,
                  const QByteArray& dati, const std::vector<const csv::Record*>& record) {
    QSaveFile f(percorso);
    if (!f.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the rejects file " + percorso.toStdString() + ": " +
                                 f.errorString().toStdString());
    QString testo = QStringLiteral("\uFEFFRIGA;MOTIVO;TESTO\r\n");
    for (size_t i = 0; i < motivi.size(); ++i) {
        QString riga;
        if (const csv::Record* r = record[i]) {
            const QByteArrayView byte(dati.constData() + r->inizio, r->fine - r->inizio);
            riga = DecodificaProbabile(byte.first(std::min(byte.size(), kMostraScarto)));
            if (byte.size() > kMostraScarto) riga += QStringLiteral("...");
        }
        testo += QString::number(motivi[i].first) + u';' + Quotato(motivi[i].second) + u';' +
                 Quotato(riga) + QStringLiteral("\r\n");
    }
    f.write(testo.toUtf8());
    if (!f.commit())
        throw std::runtime_error("cannot write the rejects file " + percorso.toStdString() + ": " +
                                 f.errorString().toStdString());
}

[[noreturn]] void Rifiuta(const QString& file, const QByteArray& dati, qint64 riga,
                          const QString& motivo, const csv::Record* record = nullptr) {
    const QString scarti = FileScarti(file);
    ScriviScarti(scarti, {{riga, motivo}}, dati, {record});
    throw FileRifiutato(riga, motivo, scarti);
}

qint64 RigaDi(const QByteArray& dati, qsizetype pos) {
    return dati.left(pos).count('\n') + 1;
}

}  // namespace

EsitoImport ImportaClienti(motore::Workspace& ws, motore::Database& ditta,
                           motore::Database& tabelle, const QString& file,
                           const Avanzamento& avanzamento, bool cifre) {
    auto avanza = [&](const char* fase, qint64 fatte, qint64 totale) {
        if (avanzamento && (fatte % 1000 == 0 || fatte == totale)) avanzamento(fase, fatte, totale);
    };
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + file.toStdString() + ": " +
                                 f.errorString().toStdString());
    if (f.size() > kMassimoFile)
        throw std::runtime_error(file.toStdString() + " is larger than 1 GiB: not a client list");
    const QByteArray dati = f.readAll();
    f.close();

    qsizetype inizio = 0;
    bool bom = false;
    if (dati.startsWith("\xEF\xBB\xBF")) {
        inizio = 3;
        bom = true;
    } else if (dati.startsWith("\xFF\xFE") || dati.startsWith("\xFE\xFF")) {
        Rifiuta(file, dati, 1,
                QStringLiteral("UTF-16 text: save the list as CSV in UTF-8 or Windows-1252"));
    }
    if (const qsizetype nul =
            QByteArrayView(dati).first(std::min(dati.size(), csv::kMassimoRecord)).indexOf('\0');
        nul >= 0)
        Rifiuta(file, dati, RigaDi(dati, nul), QStringLiteral("binary content: not a CSV text"));

    // The heading: the first line that is not blank.
    qint64 riga = 1;
    csv::Record intestazione;
    for (;;) {
        if (inizio >= dati.size()) Rifiuta(file, dati, riga, QStringLiteral("empty file"));
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
        if ((forma = RiconosciForma(nomi, sep))) break;
    }
    if (!forma)
        Rifiuta(file, dati, riga,
                intestazione.errore.isEmpty()
                    ? QStringLiteral("the heading matches neither the program's export "
                                     "(CODICE;RAGIONE SOCIALE;...) nor the Clienti column names "
                                     "(CliCodice, CliRagsoc, ...)")
                    : QStringLiteral("heading: ") + intestazione.errore,
                &intestazione);

    const csv::Opzioni opzioni{forma->separatore, forma->multiriga,
                               qsizetype(forma->colonne.size())};
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
    esito.forma = forma->descrizione + QStringLiteral(", separator ") +
                  NomeSeparatore(forma->separatore) + QStringLiteral(", ") +
                  csv::NomeCodifica(codifica);
    esito.colonneIgnorate = forma->ignorate;

    std::vector<Riga> righe;
    righe.reserve(record.size());
    Conversione conversione(tabelle, cifre);
    const qint64 totale = qint64(record.size());
    for (size_t i = 0; i < record.size(); ++i) {
        avanza("reading", qint64(i + 1), totale);
        csv::Record& rec = record[i];
        if (rec.vuota) {
            ++esito.vuote;
            continue;
        }
        Riga voce;
        voce.numero = rec.riga;
        voce.record = std::move(rec);
        const qsizetype attesi = qsizetype(forma->colonne.size());
        const qsizetype campi = qsizetype(voce.record.campi.size());
        const bool finale = campi == attesi + 1 && voce.record.campi.back().isEmpty();
        const QByteArrayView byte(dati.constData() + voce.record.inizio,
                                  voce.record.fine - voce.record.inizio);
        if (!voce.record.errore.isEmpty()) {
            voce.motivo = voce.record.errore;
        } else if (byte.contains('\0')) {
            voce.motivo = QStringLiteral("binary content (a NUL byte)");
        } else if (std::all_of(voce.record.campi.begin(), voce.record.campi.end(),
                               [](const QByteArray& c) { return c.trimmed().isEmpty(); })) {
            ++esito.vuote;
            continue;
        } else if (campi != attesi && !finale) {
            voce.motivo =
                QStringLiteral("%1 fields where the heading has %2").arg(campi).arg(attesi);
        } else if (tipi[i] != csv::Testo::Ascii &&
                   (tipi[i] == csv::Testo::Utf8) != (codifica == Codifica::Utf8)) {
            voce.motivo =
                tipi[i] == csv::Testo::Utf8
                    ? QStringLiteral("UTF-8 text in a Windows-1252 file (mixed encodings)")
                    : QStringLiteral("not UTF-8 in a UTF-8 file (mixed encodings)");
        } else {
            conversione.Converti(voce, forma->colonne, codifica);
        }
        righe.push_back(std::move(voce));
    }

    ws.BeginTrans();
    try {
        auto clienti = ditta.OpenTable(QStringLiteral("Clienti"));
        // Read inside the transaction, which holds the write lock: no other program can take
        // a code between this look and the writes.
        std::unordered_set<std::int32_t> memorizzati;
        {
            auto codici = ditta.OpenSnapshot(QStringLiteral("SELECT CliCodice FROM Clienti"));
            while (!codici->Eof()) {
                memorizzati.insert(InteroDa(codici->Field(0)));
                codici->MoveNext();
            }
            codici->Close();
        }
        std::int32_t massimo = CodiceMassimo(*clienti);
        std::unordered_map<std::int32_t, qint64> usati;
        for (Riga& r : righe) {
            const std::int32_t codice = r.r.CliCodice;
            if (!r.motivo.isEmpty() || codice == 0) continue;
            if (memorizzati.count(codice)) {
                r.motivo = QStringLiteral("code %1 already stored: not overwritten").arg(codice);
            } else if (auto it = usati.find(codice); it != usati.end()) {
                r.motivo = QStringLiteral("code %1 already on line %2").arg(codice).arg(it->second);
            } else {
                usati.emplace(codice, r.numero);
                massimo = std::max(massimo, codice);
            }
        }
        for (Riga& r : righe) {
            if (!r.motivo.isEmpty() || r.r.CliCodice != 0) continue;
            if (massimo >= kUltimoCodice)
                r.motivo = QStringLiteral("no free code left");
            else
                r.r.CliCodice = ++massimo;
        }

        std::vector<std::pair<qint64, QString>> motivi;
        std::vector<const csv::Record*> scartati;
        for (const Riga& r : righe) {
            ++esito.lette;
            if (r.motivo.isEmpty()) continue;
            ++esito.scartate;
            motivi.emplace_back(r.numero, r.motivo);
            scartati.push_back(&r.record);
        }
        // Written before anything is stored: a line that cannot be reported is not dropped.
        if (!motivi.empty()) {
            esito.fileScarti = FileScarti(file);
            ScriviScarti(esito.fileScarti, motivi, dati, scartati);
        }

        const qint64 daScrivere = esito.lette - esito.scartate;
        for (const Riga& r : righe) {
            if (!r.motivo.isEmpty()) continue;
            clienti->AddNew();
            clienti->SetField(QStringLiteral("CliCodice"), r.r.CliCodice);
            ScriviCliente(*clienti, r.r);
            clienti->Update();
            ++esito.importate;
            esito.tagliate += r.tagliata;
            avanza("writing", esito.importate, daScrivere);
        }
        clienti->Close();
        ws.CommitTrans();
    } catch (...) {
        ws.Rollback();
        throw;
    }
    if (esito.fileScarti.isEmpty()) QFile::remove(FileScarti(file));
    return esito;
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
        err << "error: " << testo << "\n";
        err.flush();
        return 1;
    };
    try {
        motore::Workspace ws(server);
        // Bulk work: the server may take minutes over it.
        ws.ImpostaScadenza(10 * 60 * 1000);
        DatabaseAzienda db = ApriAzienda(ws, server, radice, azienda);
        QElapsedTimer tempo;
        tempo.start();
        const EsitoImport e = ImportaClienti(ws, *db.ditta, *db.tabelle, file, avanzamento, cifre);
        out << "read: " << QDir::toNativeSeparators(file) << " as " << e.forma << "\n";
        if (!e.colonneIgnorate.isEmpty())
            out << "columns ignored: " << e.colonneIgnorate.join(QStringLiteral(", ")) << "\n";
        out << "lines read: " << e.lette << ", imported: " << e.importate
            << ", rejected: " << e.scartate << " (" << tempo.elapsed() << " ms)\n";
        if (e.vuote > 0) out << "empty lines skipped: " << e.vuote << "\n";
        if (e.tagliate > 0)
            out << "imported lines with a text cut to its column's width: " << e.tagliate << "\n";
        out.flush();
        if (e.scartate > 0)
            return errore(QStringLiteral("%1 lines rejected, each with its line number and "
                                         "reason in %2")
                              .arg(e.scartate)
                              .arg(QDir::toNativeSeparators(e.fileScarti)));
        return 0;
    } catch (const FileRifiutato& r) {
        return errore(QStringLiteral("%1 line %2: %3; nothing imported (see %4)")
                          .arg(QDir::toNativeSeparators(file))
                          .arg(r.Riga())
                          .arg(r.Motivo(), QDir::toNativeSeparators(r.FileScarti())));
    } catch (const motore::Errore& e) {
        return errore(e.Spiegazione() + QStringLiteral("; nothing imported"));
    } catch (const std::exception& e) {
        return errore(QString::fromStdString(e.what()) + QStringLiteral("; nothing imported"));
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
