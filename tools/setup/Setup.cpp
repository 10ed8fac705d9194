// Databases made from the reference data inside the binary, on files or schemas on a server:
// a file appears only once whole, a copy onto a server is one transaction, and nothing that
// exists is ever overwritten.

#include "Setup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTextStream>

#include <functional>
#include <limits>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "Gruppo.h"
#include "Importa.h"
#include "engine/Motore.h"

// The embedded data live in a static library: referencing the initialiser keeps its object
// file in every binary that links the library.
static void InizializzaRisorse() {
    static const bool fatto = [] {
        Q_INIT_RESOURCE(dati);
        return true;
    }();
    (void)fatto;
}

namespace setup {

namespace {

std::vector<QStringList> LeggiTsv(const QString& nome, qsizetype campi) {
    InizializzaRisorse();
    QFile f(":/dati/" + nome);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("dati incorporati mancanti: " + nome.toStdString());
    std::vector<QStringList> righe;
    for (const QByteArray& linea : f.readAll().split('\n')) {
        if (linea.isEmpty()) continue;
        QStringList r = QString::fromUtf8(linea).split(u'\t');
        if (r.size() != campi)
            throw std::runtime_error("riga malformata in " + nome.toStdString() + ": " +
                                     linea.toStdString());
        righe.push_back(std::move(r));
    }
    return righe;
}

// SQLite would silently store a value wider than its column.
const QString& Entro(const QString& valore, int larghezza) {
    if (valore.size() > larghezza)
        throw std::runtime_error("valore più largo della sua colonna: " + valore.toStdString());
    return valore;
}

using Riempitore = std::function<void(motore::Workspace&, motore::Database&)>;

// Builds the database under a temporary name and renames it when complete, so an
// interrupted run never leaves a half-filled file under the real name.
void CreaFile(const QString& percorso, const Riempitore& riempi) {
    // Another run making the same database would take away the file this one builds: the
    // folder is held meanwhile. One that cannot be locked at all is made unguarded.
    const int cartella = ::open(QFile::encodeName(QFileInfo(percorso).absolutePath()).constData(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const auto rilascia = qScopeGuard([cartella] {
        if (cartella >= 0) ::close(cartella);
    });
    if (cartella >= 0 && ::flock(cartella, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        throw std::runtime_error(percorso.toStdString() +
                                 " è in creazione in un'altra esecuzione di anagrafica-setup");
    if (QFileInfo::exists(percorso))
        throw std::runtime_error(percorso.toStdString() + " esiste già");
    // What an interrupted run left, its journal too, which would be played into the new file.
    const QString temporaneo = percorso + ".partial";
    QFile::remove(temporaneo);
    QFile::remove(temporaneo + "-journal");
    try {
        motore::Workspace ws;
        auto db = ws.CreaDatabase(temporaneo);
        riempi(ws, *db);
        db->Close();
    } catch (...) {
        QFile::remove(temporaneo);
        throw;
    }
    if (!QFile::rename(temporaneo, percorso)) {
        QFile::remove(temporaneo);
        throw std::runtime_error("impossibile rinominare il nuovo database in " +
                                 percorso.toStdString());
    }
}

// Bulk loads are one transaction each: a commit per row would cost a disk sync per row.
template <typename F>
void InTransazione(motore::Workspace& ws, F&& carica) {
    ws.BeginTrans();
    try {
        carica();
        ws.CommitTrans();
    } catch (...) {
        ws.Rollback();
        throw;
    }
}

}  // namespace

const std::vector<Localita>& DatiLocalita() {
    static const std::vector<Localita> dati = [] {
        std::vector<Localita> v;
        for (const QStringList& r : LeggiTsv(QStringLiteral("localita.tsv"), 5))
            v.push_back({r[0], r[1], r[2], r[3], r[4]});
        return v;
    }();
    return dati;
}

const std::vector<Provincia>& DatiProvince() {
    static const std::vector<Provincia> dati = [] {
        std::vector<Provincia> v;
        for (const QStringList& r : LeggiTsv(QStringLiteral("province.tsv"), 2))
            v.push_back({r[0], r[1]});
        return v;
    }();
    return dati;
}

const std::vector<Nazione>& DatiNazioni() {
    static const std::vector<Nazione> dati = [] {
        std::vector<Nazione> v;
        for (const QStringList& r : LeggiTsv(QStringLiteral("nazioni.tsv"), 3))
            v.push_back({r[0], r[1], r[2]});
        return v;
    }();
    return dati;
}

namespace {

// Loads the rows of a list through the engine's bulk load.
template <typename T, typename F>
void CaricaDati(motore::Database& db, const QString& tabella, const QStringList& colonne,
                const std::vector<T>& dati, F&& valori) {
    size_t i = 0;
    db.Carica(tabella, colonne, [&](QVariantList& v) {
        if (i == dati.size()) return false;
        v = valori(dati[i++]);
        return true;
    });
}

}  // namespace

ConteggiTabelle RiempiTabelle(motore::Database& db) {
    using motore::TipoIndice;
    db.CreaTabella(QStringLiteral("PROVINCIE"), {{"CODICE", 2, true}, {"Descrizione", 40}});
    db.CreaTabella(QStringLiteral("NAZIONI"),
                   {{"CODICE", 3, true}, {"Descrizione", 60}, {"CodiceISO", 2}});
    db.CreaTabella(QStringLiteral("LOCALITA"), {{"LocLocalita", 50, true},
                                                {"LocCAP", 5, true},
                                                {"LocProvincia", 2},
                                                {"LocPrefisso", 5},
                                                {"LocRegione", 3}});
    CaricaDati(db, QStringLiteral("PROVINCIE"), {"CODICE", "Descrizione"}, DatiProvince(),
               [](const Provincia& p) {
                   return QVariantList{Entro(p.codice, 2), Entro(p.nome, 40)};
               });
    CaricaDati(db, QStringLiteral("NAZIONI"), {"CODICE", "Descrizione", "CodiceISO"}, DatiNazioni(),
               [](const Nazione& x) {
                   return QVariantList{Entro(x.codice, 3), Entro(x.nome, 60), Entro(x.iso, 2)};
               });
    // The data have no telephone prefix: LocPrefisso stays null.
    CaricaDati(db, QStringLiteral("LOCALITA"),
               {"LocLocalita", "LocCAP", "LocProvincia", "LocPrefisso", "LocRegione"},
               DatiLocalita(), [](const Localita& l) {
                   return QVariantList{Entro(l.nome, 50), Entro(l.cap, 5), Entro(l.provincia, 2),
                                       QVariant(), Entro(l.regione, 3)};
               });
    // Indexes last: building them once is much cheaper than updating them per row.
    db.CreaIndice("PROVINCIE", "primaria", {"CODICE"}, TipoIndice::Unico);
    db.CreaIndice("PROVINCIE", "Descrizione", {"Descrizione"}, TipoIndice::Normale);
    db.CreaIndice("NAZIONI", "primaria", {"CODICE"}, TipoIndice::Unico);
    db.CreaIndice("NAZIONI", "CodiceISO", {"CodiceISO"}, TipoIndice::Normale);
    db.CreaIndice("NAZIONI", "Descrizione", {"Descrizione"}, TipoIndice::Normale);
    db.CreaIndice("LOCALITA", "primaria", {"LocLocalita", "LocCAP"}, TipoIndice::Unico);
    // Case blind, as the lookup dialog's ranges compare: they seek these.
    for (const char* tabella : {"PROVINCIE", "NAZIONI"}) {
        db.CreaIndice(tabella, "RicercaCodice", {"CODICE"}, TipoIndice::Ricerca);
        db.CreaIndice(tabella, "RicercaDescrizione", {"Descrizione"}, TipoIndice::Ricerca);
    }
    return {int(DatiProvince().size()), int(DatiLocalita().size()), int(DatiNazioni().size())};
}

void RiempiAzienda(motore::Database& db, qint64 clientiEsempio) {
    using motore::TipoIndice;
    db.CreaTabella(QStringLiteral("Clienti"), {{"CliCodice", 0, true},
                                               {"CliRagsoc", 35},
                                               {"CliRagsocEstesa", 35},
                                               {"CliIndirizzo", 35},
                                               {"CliLocalita", 35},
                                               {"CliCap", 9},
                                               {"CliProvincia", 3},
                                               {"CliNazione", 3},
                                               {"CliPartitaIva", 12},
                                               {"CliCodiceFiscale", 16},
                                               {"CliCategoria", 4},
                                               {"CliTelefono", 14},
                                               {"CliContabile", 9},
                                               {"CliAcronimo", 20},
                                               {"CliEsenzioneNum", 12},
                                               {"CliEsenzioneDat", 0}});
    qint64 codice = 0;
    db.Carica(QStringLiteral("Clienti"),
              {"CliCodice", "CliRagsoc", "CliRagsocEstesa", "CliIndirizzo", "CliLocalita", "CliCap",
               "CliProvincia", "CliNazione", "CliPartitaIva", "CliCodiceFiscale", "CliCategoria",
               "CliTelefono", "CliContabile", "CliAcronimo", "CliEsenzioneNum", "CliEsenzioneDat"},
              [&](QVariantList& v) {
                  if (codice >= clientiEsempio) return false;
                  const Cliente c = ClienteEsempio(++codice);
                  v = {c.codice,     c.ragsoc,        c.ragsocEstesa, c.indirizzo,
                       c.localita,   c.cap,           c.provincia,    c.nazione,
                       c.partitaIva, c.codiceFiscale, c.categoria,    c.telefono,
                       c.contabile,  c.acronimo,      c.esenzioneNum, c.esenzioneDat};
                  return true;
              });
    db.CreaIndice("Clienti", "primaria", {"CliCodice"}, TipoIndice::Unico);
    db.CreaIndice("Clienti", "CliRagsoc", {"CliRagsoc", "CliCodice"}, TipoIndice::Normale);
    db.CreaIndice("Clienti", "CliPartitaIva", {"CliPartitaIva"}, TipoIndice::Normale);
    db.CreaIndice("Clienti", "CliCodiceFiscale", {"CliCodiceFiscale"}, TipoIndice::Normale);
    // Case blind, as the forms' queries compare: their equalities, ranges and prefixes seek
    // these. The code rides along for the homonym search.
    db.CreaIndice("Clienti", "RicercaRagsoc", {"CliRagsoc", "CliCodice"}, TipoIndice::Ricerca);
    db.CreaIndice("Clienti", "RicercaPartitaIva", {"CliPartitaIva"}, TipoIndice::Ricerca);
    db.CreaIndice("Clienti", "RicercaCodiceFiscale", {"CliCodiceFiscale"}, TipoIndice::Ricerca);
    db.CreaIndice("Clienti", "RicercaCap", {"CliCap"}, TipoIndice::Ricerca);
    db.CreaIndice("Clienti", "CliCap", {"CliCap"}, TipoIndice::Normale);
}

ConteggiTabelle CreaTabelle(const QString& percorso) {
    ConteggiTabelle n;
    CreaFile(percorso, [&](motore::Workspace& ws, motore::Database& db) {
        InTransazione(ws, [&] { n = RiempiTabelle(db); });
    });
    return n;
}

void CreaAzienda(const QString& percorso, qint64 clientiEsempio) {
    CreaFile(percorso, [&](motore::Workspace& ws, motore::Database& db) {
        InTransazione(ws, [&] { RiempiAzienda(db, clientiEsempio); });
    });
}

std::vector<std::pair<QString, qint64>> Copia(motore::Database& da, motore::Database& a) {
    std::vector<std::pair<QString, qint64>> copiate;
    for (const QString& tabella : da.Tabelle()) {
        const std::vector<motore::DefColonna> colonne = da.Colonne(tabella);
        a.CreaTabella(tabella, colonne);
        QStringList nomi;
        for (const auto& c : colonne) nomi << c.nome;
        auto righe =
            da.OpenSnapshot(QStringLiteral("SELECT %1 FROM %2").arg(nomi.join(", "), tabella));
        qint64 n = 0;
        a.Carica(tabella, nomi, [&](QVariantList& v) {
            if (righe->Eof()) return false;
            v.clear();
            for (int i = 0; i < nomi.size(); ++i) v << righe->Field(i);
            righe->MoveNext();
            ++n;
            return true;
        });
        // Nothing lost: the copy holds as many rows as the file.
        const qint64 prima =
            da.Valore(QStringLiteral("SELECT count(*) FROM %1").arg(tabella)).toLongLong();
        const qint64 dopo =
            a.Valore(QStringLiteral("SELECT count(*) FROM %1").arg(tabella)).toLongLong();
        if (prima != n || dopo != n)
            throw std::runtime_error(QStringLiteral("%1: %2 righe nel file, %3 copiate")
                                         .arg(tabella)
                                         .arg(prima)
                                         .arg(dopo)
                                         .toStdString());
        for (const motore::DefIndice& i : da.Indici(tabella))
            a.CreaIndice(tabella, i.nome, i.colonne, i.tipo);
        copiate.emplace_back(tabella, n);
    }
    return copiate;
}

namespace {

constexpr qint64 kMassimoClienti = std::numeric_limits<qint32>::max();

void Uso(QTextStream& s) {
    s << "uso: anagrafica-setup RADICE DITTA [--sample-clients N]\n"
         "  crea RADICE/tabkes.mdb (tenuto se esiste) e RADICE/DITTA/Completo.mdb\n"
         "     anagrafica-setup RADICE [DITTA] --gruppo GRUPPO\n"
         "  dà al gruppo degli operatori la radice, RADICE/temp, la ditta (se manca la crea;\n"
         "  senza DITTA ogni ditta) e i database; non tocca i dati\n"
         "     anagrafica-setup RADICE DITTA --importa-clienti FILE [--senza-cifre]\n"
         "     anagrafica-setup --server CONNINFO DITTA --importa-clienti FILE\n"
         "                      [--senza-cifre]\n"
         "  aggiunge i clienti di un elenco CSV alla ditta esistente; le righe scartate vanno\n"
         "  in FILE.scarti.csv, col loro motivo, pronte da correggere e importare;\n"
         "  --senza-cifre giudica codici fiscali e partite IVA dalla sola lunghezza, come il\n"
         "  programma con [CONTROLLI] CIFRE=0\n"
         "     anagrafica-setup --server CONNINFO DITTA [--sample-clients N]\n"
         "  crea sul server lo schema delle tabelle dei codici (tenuto se esiste) e quello\n"
         "  della ditta, e il ruolo anagrafica_operatori che ne legge e scrive le righe\n"
         "     anagrafica-setup --server CONNINFO --copia RADICE DITTA\n"
         "  copia RADICE/tabkes.mdb e RADICE/DITTA/Completo.mdb sul server, in una sola\n"
         "  transazione\n";
}

// The operators' role reads and writes the rows of the program's schemas, nothing more:
// no tables made, changed or dropped.
void ConcediAgliOperatori(motore::Database& db, const QStringList& schemi) {
    // Roles belong to the whole server: two setups running together take turns here.
    db.Esegui(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('anagrafica_operatori'))"));
    db.Esegui(QStringLiteral(
        "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = "
        "'anagrafica_operatori') THEN CREATE ROLE anagrafica_operatori NOLOGIN; END IF; END $$"));
    for (const QString& s : schemi) {
        db.Esegui(QStringLiteral("GRANT USAGE ON SCHEMA %1 TO anagrafica_operatori").arg(s));
        db.Esegui(QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA %1 "
                                 "TO anagrafica_operatori")
                      .arg(s));
    }
}

// The server's part: one transaction on one connection, so that a failure leaves the
// server as it was.
int SulServer(const QString& server, const QString& azienda, qint64 clienti,
              const QString& radiceCopia, QTextStream& out, QTextStream& err) {
    motore::Workspace ws(server);
    // Bulk work: the server may take minutes over it.
    ws.ImpostaScadenza(10 * 60 * 1000);
    const QString ditta = motore::PercorsoDitta(server, QString(), azienda);
    const QString tabelle = motore::PercorsoTabelle(server, QString());
    auto esiste = [&](const QString& schema) {
        try {
            ws.OpenDatabase(schema)->Close();
            return true;
        } catch (const motore::Errore& e) {
            if (e.Numero() == motore::ErrPercorso) return false;
            throw;
        }
    };
    // Checked before anything is created, so a refused run changes nothing.
    if (esiste(ditta)) {
        err << "errore: lo schema " << ditta << " esiste già sul server; non sovrascritto\n";
        err.flush();
        return 1;
    }
    const bool tabelleEsistenti = esiste(tabelle);
    std::unique_ptr<motore::Workspace> file;
    std::unique_ptr<motore::Database> fileDitta, fileTabelle;
    if (!radiceCopia.isEmpty()) {
        const QDir dir(radiceCopia);
        file = std::make_unique<motore::Workspace>();
        fileDitta = file->OpenDatabase(dir.filePath(azienda + "/Completo.mdb"));
        if (!tabelleEsistenti) fileTabelle = file->OpenDatabase(dir.filePath("tabkes.mdb"));
    }
    auto stampa = [&](const QString& schema, const std::vector<std::pair<QString, qint64>>& n) {
        for (const auto& [tabella, righe] : n)
            out << "copiato: " << schema << "." << tabella << " (" << righe << " righe)\n";
    };
    ws.BeginTrans();
    try {
        auto db = ws.CreaDatabase(ditta);
        if (tabelleEsistenti) {
            err << "tenuto: lo schema " << tabelle << " (già sul server)\n";
        } else {
            // The code tables go through the same connection, in their own schema.
            db->Esegui(QStringLiteral("CREATE SCHEMA %1").arg(tabelle));
            db->Esegui(QStringLiteral("SET LOCAL search_path = %1").arg(tabelle));
            if (fileTabelle) {
                stampa(tabelle, Copia(*fileTabelle, *db));
            } else {
                const ConteggiTabelle n = RiempiTabelle(*db);
                out << "creato: schema " << tabelle << " (" << n.province << " province, "
                    << n.localita << " località, " << n.nazioni << " nazioni)\n";
            }
            db->Esegui(QStringLiteral("SET LOCAL search_path = %1").arg(ditta));
        }
        if (fileDitta) {
            stampa(ditta, Copia(*fileDitta, *db));
        } else {
            RiempiAzienda(*db, clienti);
            out << "creato: schema " << ditta << " (" << clienti << " clienti)\n";
        }
        ConcediAgliOperatori(*db, {ditta, tabelle});
        ws.CommitTrans();
    } catch (...) {
        ws.Rollback();
        throw;
    }
    out.flush();
    err.flush();
    return 0;
}

}  // namespace

int Esegui(const QStringList& argomenti, QTextStream& out, QTextStream& err,
           const Avanzamento& avanzamento) {
    QStringList posizionali;
    qint64 clienti = 0;
    QString daImportare, server, copia, gruppo;
    bool cifre = true;
    auto errato = [&](const QString& messaggio) {
        err << "anagrafica-setup: " << messaggio << "\n";
        Uso(err);
        err.flush();
        return 2;
    };
    for (qsizetype i = 0; i < argomenti.size(); ++i) {
        const QString& a = argomenti[i];
        if (a == "-h" || a == "--help") {
            Uso(out);
            return 0;
        }
        if (a == "--importa-clienti" || a.startsWith("--importa-clienti=")) {
            if (a.contains(u'='))
                daImportare = a.mid(a.indexOf(u'=') + 1);
            else if (i + 1 < argomenti.size())
                daImportare = argomenti[++i];
            if (daImportare.isEmpty())
                return errato(QStringLiteral("--importa-clienti vuole FILE"));
            continue;
        }
        if (a == "--senza-cifre") {
            cifre = false;
            continue;
        }
        if (a == "--server" || a == "--copia" || a == "--gruppo") {
            if (i + 1 >= argomenti.size() || argomenti[i + 1].trimmed().isEmpty())
                return errato(QStringLiteral("%1 vuole un valore").arg(a));
            (a == "--server" ? server : a == "--copia" ? copia : gruppo) = argomenti[++i];
            continue;
        }
        QString valore;
        if (a == "--sample-clients") {
            if (i + 1 >= argomenti.size())
                return errato(QStringLiteral("--sample-clients vuole N"));
            valore = argomenti[++i];
        } else if (a.startsWith("--sample-clients=")) {
            valore = a.mid(a.indexOf(u'=') + 1);
        } else if (a.startsWith(u'-') && a.size() > 1) {
            return errato(QStringLiteral("opzione sconosciuta %1").arg(a));
        } else {
            posizionali << a;
            continue;
        }
        bool ok = false;
        clienti = valore.toLongLong(&ok);
        if (!ok || clienti < 0 || clienti > kMassimoClienti)
            return errato(QStringLiteral("numero di clienti non valido: %1").arg(valore));
    }
    if (!copia.isEmpty() && server.isEmpty())
        return errato(QStringLiteral("--copia copia su un server: indicare --server"));
    if (!copia.isEmpty() && clienti > 0)
        return errato(QStringLiteral("--copia non prende clienti di esempio"));
    if (!daImportare.isEmpty() && (clienti > 0 || !copia.isEmpty()))
        return errato(
            QStringLiteral("--importa-clienti va in una ditta esistente, "
                           "senza --sample-clients né --copia"));
    if (!cifre && daImportare.isEmpty())
        return errato(QStringLiteral("--senza-cifre va con --importa-clienti"));
    if (!gruppo.isEmpty() && (!server.isEmpty() || !daImportare.isEmpty()))
        return errato(
            QStringLiteral("--gruppo vale per i file, senza --server né --importa-clienti"));
    if (!gruppo.isEmpty() && posizionali.size() == 1 && !posizionali[0].isEmpty())
        return DaiAlGruppo(posizionali[0], {}, gruppo, out, err) ? 0 : 1;
    if (posizionali.size() != (server.isEmpty() ? 2 : 1))
        return errato(server.isEmpty() ? QStringLiteral("attesi RADICE e DITTA")
                                       : QStringLiteral("attesa DITTA"));
    const QString& azienda = posizionali.back();
    // A code the program can name: the environment file's DITTA loses blanks, a server's
    // schema name reads only letters and digits and is cut at 63 bytes ("ditta_" and 57),
    // and temp holds the exported lists.
    static const QRegularExpression kDitta(QStringLiteral("^[A-Za-z0-9_-]{1,57}$"));
    if (!kDitta.match(azienda).hasMatch() || azienda.compare(u"temp", Qt::CaseInsensitive) == 0)
        return errato(QStringLiteral("DITTA dev'essere di lettere, cifre, - o _ (al più 57), e "
                                     "non temp: '%1'")
                          .arg(azienda));
    if (!daImportare.isEmpty())
        return ComandoImporta(server, server.isEmpty() ? posizionali[0] : QString(), azienda,
                              daImportare, out, err, avanzamento, cifre);
    if (!server.isEmpty()) {
        try {
            return SulServer(server, azienda, clienti, copia, out, err);
        } catch (const motore::Errore& e) {
            err << "errore: " << e.Descrizione() << "\nnulla è stato cambiato sul server\n";
        } catch (const std::exception& e) {
            err << "errore: " << e.what() << "\nnulla è stato cambiato sul server\n";
        }
        err.flush();
        return 1;
    }
    const QString& radice = posizionali[0];
    if (radice.isEmpty()) return errato(QStringLiteral("RADICE è vuota"));

    const QDir dirRadice(radice);
    const QString tabkes = dirRadice.filePath(QStringLiteral("tabkes.mdb"));
    const QString completo = dirRadice.filePath(azienda + "/Completo.mdb");
    // Checked before anything is created, so a refused run changes nothing on disk.
    if (!gruppo.isEmpty() && (!GruppoEsistente(gruppo, err) || !RadicePerIlGruppo(radice, err)))
        return 1;
    if (!gruppo.isEmpty() && QFileInfo::exists(completo))
        return DaiAlGruppo(radice, azienda, gruppo, out, err) ? 0 : 1;
    if (QFileInfo::exists(completo)) {
        err << "errore: " << QDir::toNativeSeparators(completo)
            << " esiste già; non sovrascritto\n";
        err.flush();
        return 1;
    }
    try {
        // The company's folder, and the one the exported lists go to (the environment
        // file's TEMP), which the program never makes.
        for (const QString& cartella : {azienda, QStringLiteral("temp")})
            if (!QDir().mkpath(dirRadice.filePath(cartella)))
                throw std::runtime_error("impossibile creare la cartella " +
                                         dirRadice.filePath(cartella).toStdString());
        if (QFileInfo::exists(tabkes)) {
            err << "tenuto: " << QDir::toNativeSeparators(tabkes) << " (esiste già)\n";
            err.flush();
        } else {
            const ConteggiTabelle n = CreaTabelle(tabkes);
            out << "creato: " << QDir::toNativeSeparators(tabkes) << " (" << n.province
                << " province, " << n.localita << " località, " << n.nazioni << " nazioni)\n";
            out.flush();
        }
        QElapsedTimer tempo;
        tempo.start();
        CreaAzienda(completo, clienti);
        out << "creato: " << QDir::toNativeSeparators(completo) << " (" << clienti << " clienti, "
            << tempo.elapsed() << " ms)\n";
        out.flush();
    } catch (const motore::Errore& e) {
        err << "errore: " << e.Descrizione() << "\n";
        err.flush();
        return 1;
    } catch (const std::exception& e) {
        err << "errore: " << e.what() << "\n";
        err.flush();
        return 1;
    }
    return gruppo.isEmpty() || DaiAlGruppo(radice, azienda, gruppo, out, err) ? 0 : 1;
}

}  // namespace setup
