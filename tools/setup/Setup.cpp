#include "Setup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <functional>
#include <limits>
#include <stdexcept>

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
        throw std::runtime_error("embedded data missing: " + nome.toStdString());
    std::vector<QStringList> righe;
    for (const QByteArray& linea : f.readAll().split('\n')) {
        if (linea.isEmpty()) continue;
        QStringList r = QString::fromUtf8(linea).split(u'\t');
        if (r.size() != campi)
            throw std::runtime_error("malformed line in " + nome.toStdString() + ": " +
                                     linea.toStdString());
        righe.push_back(std::move(r));
    }
    return righe;
}

// SQLite would silently store a value wider than its column.
const QString& Entro(const QString& valore, int larghezza) {
    if (valore.size() > larghezza)
        throw std::runtime_error("value wider than its column: " + valore.toStdString());
    return valore;
}

using Riempitore = std::function<void(motore::Workspace&, motore::Database&)>;

// Builds the database under a temporary name and renames it when complete, so an
// interrupted run never leaves a half-filled file under the real name.
void CreaFile(const QString& percorso, const Riempitore& riempi) {
    if (QFileInfo::exists(percorso))
        throw std::runtime_error(percorso.toStdString() + " already exists");
    const QString temporaneo = percorso + ".partial";
    QFile::remove(temporaneo);
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
        throw std::runtime_error("cannot rename the new database to " + percorso.toStdString());
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

ConteggiTabelle CreaTabelle(const QString& percorso) {
    ConteggiTabelle n;
    CreaFile(percorso, [&](motore::Workspace& ws, motore::Database& db) {
        db.Esegui(
            QStringLiteral("CREATE TABLE PROVINCIE ("
                           "CODICE VARCHAR(2) COLLATE RTRIM NOT NULL, "
                           "Descrizione VARCHAR(40) COLLATE RTRIM)"));
        db.Esegui(
            QStringLiteral("CREATE TABLE NAZIONI ("
                           "CODICE VARCHAR(3) COLLATE RTRIM NOT NULL, "
                           "Descrizione VARCHAR(60) COLLATE RTRIM, "
                           "CodiceISO VARCHAR(2) COLLATE RTRIM)"));
        db.Esegui(
            QStringLiteral("CREATE TABLE LOCALITA ("
                           "LocLocalita VARCHAR(50) COLLATE RTRIM NOT NULL, "
                           "LocCAP VARCHAR(5) COLLATE RTRIM NOT NULL, "
                           "LocProvincia VARCHAR(2) COLLATE RTRIM, "
                           "LocPrefisso VARCHAR(5) COLLATE RTRIM, "
                           "LocRegione VARCHAR(3) COLLATE RTRIM)"));
        InTransazione(ws, [&] {
            for (const Provincia& p : DatiProvince())
                db.Esegui(QStringLiteral("INSERT INTO PROVINCIE VALUES (?, ?)"),
                          {Entro(p.codice, 2), Entro(p.nome, 40)});
            for (const Nazione& x : DatiNazioni())
                db.Esegui(QStringLiteral("INSERT INTO NAZIONI VALUES (?, ?, ?)"),
                          {Entro(x.codice, 3), Entro(x.nome, 60), Entro(x.iso, 2)});
            // The data have no telephone prefix: LocPrefisso stays null.
            for (const Localita& l : DatiLocalita())
                db.Esegui(QStringLiteral("INSERT INTO LOCALITA VALUES (?, ?, ?, NULL, ?)"),
                          {Entro(l.nome, 50), Entro(l.cap, 5), Entro(l.provincia, 2),
                           Entro(l.regione, 3)});
        });
        for (const char* indice : {
                 R"(CREATE UNIQUE INDEX "PROVINCIE.primaria" ON PROVINCIE(CODICE))",
                 R"(CREATE INDEX "PROVINCIE.Descrizione" ON PROVINCIE(Descrizione))",
                 R"(CREATE UNIQUE INDEX "NAZIONI.primaria" ON NAZIONI(CODICE))",
                 R"(CREATE INDEX "NAZIONI.CodiceISO" ON NAZIONI(CodiceISO))",
                 R"(CREATE INDEX "NAZIONI.Descrizione" ON NAZIONI(Descrizione))",
                 R"(CREATE UNIQUE INDEX "LOCALITA.primaria" ON LOCALITA(LocLocalita, LocCAP))",
                 // Case blind, as the lookup dialog's ranges compare: they seek these.
                 R"(CREATE INDEX "PROVINCIE.RicercaCodice" ON PROVINCIE(CODICE COLLATE NOCASE))",
                 R"(CREATE INDEX "PROVINCIE.RicercaDescrizione" ON )"
                 R"(PROVINCIE(Descrizione COLLATE NOCASE))",
                 R"(CREATE INDEX "NAZIONI.RicercaCodice" ON NAZIONI(CODICE COLLATE NOCASE))",
                 R"(CREATE INDEX "NAZIONI.RicercaDescrizione" ON )"
                 R"(NAZIONI(Descrizione COLLATE NOCASE))",
             })
            db.Esegui(QString::fromLatin1(indice));
    });
    n.province = int(DatiProvince().size());
    n.nazioni = int(DatiNazioni().size());
    n.localita = int(DatiLocalita().size());
    return n;
}

void CreaAzienda(const QString& percorso, qint64 clientiEsempio) {
    CreaFile(percorso, [&](motore::Workspace& ws, motore::Database& db) {
        db.Esegui(
            QStringLiteral("CREATE TABLE Clienti ("
                           "CliCodice INTEGER NOT NULL, "
                           "CliRagsoc VARCHAR(35) COLLATE RTRIM, "
                           "CliRagsocEstesa VARCHAR(35) COLLATE RTRIM, "
                           "CliIndirizzo VARCHAR(35) COLLATE RTRIM, "
                           "CliLocalita VARCHAR(35) COLLATE RTRIM, "
                           "CliCap VARCHAR(9) COLLATE RTRIM, "
                           "CliProvincia VARCHAR(3) COLLATE RTRIM, "
                           "CliNazione VARCHAR(3) COLLATE RTRIM, "
                           "CliPartitaIva VARCHAR(12) COLLATE RTRIM, "
                           "CliCodiceFiscale VARCHAR(16) COLLATE RTRIM, "
                           "CliCategoria VARCHAR(4) COLLATE RTRIM, "
                           "CliTelefono VARCHAR(14) COLLATE RTRIM, "
                           "CliContabile VARCHAR(9) COLLATE RTRIM, "
                           "CliAcronimo VARCHAR(20) COLLATE RTRIM, "
                           "CliEsenzioneNum VARCHAR(12) COLLATE RTRIM, "
                           "CliEsenzioneDat INTEGER)"));
        if (clientiEsempio > 0) {
            const QString inserisci = QStringLiteral(
                "INSERT INTO Clienti VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                "?, ?, ?, ?)");
            InTransazione(ws, [&] {
                QVariantList v;
                for (qint64 codice = 1; codice <= clientiEsempio; ++codice) {
                    const Cliente c = ClienteEsempio(codice);
                    v = {c.codice,     c.ragsoc,        c.ragsocEstesa, c.indirizzo,
                         c.localita,   c.cap,           c.provincia,    c.nazione,
                         c.partitaIva, c.codiceFiscale, c.categoria,    c.telefono,
                         c.contabile,  c.acronimo,      c.esenzioneNum, c.esenzioneDat};
                    db.Esegui(inserisci, v);
                }
            });
        }
        // Indexes last: building them once is much cheaper than updating them per row.
        for (const char* indice : {
                 R"(CREATE UNIQUE INDEX "Clienti.primaria" ON Clienti(CliCodice))",
                 R"(CREATE INDEX "Clienti.CliRagsoc" ON Clienti(CliRagsoc, CliCodice))",
                 R"(CREATE INDEX "Clienti.CliPartitaIva" ON Clienti(CliPartitaIva))",
                 R"(CREATE INDEX "Clienti.CliCodiceFiscale" ON Clienti(CliCodiceFiscale))",
                 // Case blind, as the forms' queries compare: their equalities, ranges and
                 // prefixes seek these. The code rides along for the homonym search.
                 R"(CREATE INDEX "Clienti.RicercaRagsoc" ON )"
                 R"(Clienti(CliRagsoc COLLATE NOCASE, CliCodice))",
                 R"(CREATE INDEX "Clienti.RicercaPartitaIva" ON )"
                 R"(Clienti(CliPartitaIva COLLATE NOCASE))",
                 R"(CREATE INDEX "Clienti.RicercaCodiceFiscale" ON )"
                 R"(Clienti(CliCodiceFiscale COLLATE NOCASE))",
                 R"(CREATE INDEX "Clienti.RicercaCap" ON Clienti(CliCap COLLATE NOCASE))",
                 R"(CREATE INDEX "Clienti.CliCap" ON Clienti(CliCap))",
             })
            db.Esegui(QString::fromLatin1(indice));
    });
}

namespace {

constexpr qint64 kMassimoClienti = std::numeric_limits<qint32>::max();

void Uso(QTextStream& s) {
    s << "usage: anagrafica-setup ROOT COMPANY [--sample-clients N]\n"
         "  creates ROOT/tabkes.mdb (kept if it exists) and ROOT/COMPANY/Completo.mdb\n";
}

}  // namespace

int Esegui(const QStringList& argomenti, QTextStream& out, QTextStream& err) {
    QStringList posizionali;
    qint64 clienti = 0;
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
        QString valore;
        if (a == "--sample-clients") {
            if (i + 1 >= argomenti.size())
                return errato(QStringLiteral("--sample-clients needs N"));
            valore = argomenti[++i];
        } else if (a.startsWith("--sample-clients=")) {
            valore = a.mid(a.indexOf(u'=') + 1);
        } else if (a.startsWith(u'-') && a.size() > 1) {
            return errato(QStringLiteral("unknown option %1").arg(a));
        } else {
            posizionali << a;
            continue;
        }
        bool ok = false;
        clienti = valore.toLongLong(&ok);
        if (!ok || clienti < 0 || clienti > kMassimoClienti)
            return errato(QStringLiteral("invalid number of clients: %1").arg(valore));
    }
    if (posizionali.size() != 2) return errato(QStringLiteral("expected ROOT and COMPANY"));
    const QString& radice = posizionali[0];
    const QString& azienda = posizionali[1];
    if (radice.isEmpty()) return errato(QStringLiteral("ROOT is empty"));
    if (azienda.isEmpty() || azienda == "." || azienda == ".." || azienda.contains(u'/') ||
        azienda.contains(u'\\'))
        return errato(QStringLiteral("COMPANY must be a plain folder name: %1").arg(azienda));

    const QDir dirRadice(radice);
    const QString tabkes = dirRadice.filePath(QStringLiteral("tabkes.mdb"));
    const QString completo = dirRadice.filePath(azienda + "/Completo.mdb");
    // Checked before anything is created, so a refused run changes nothing on disk.
    if (QFileInfo::exists(completo)) {
        err << "error: " << QDir::toNativeSeparators(completo)
            << " already exists; not overwritten\n";
        err.flush();
        return 1;
    }
    try {
        if (!QDir().mkpath(dirRadice.filePath(azienda)))
            throw std::runtime_error("cannot create the folder " +
                                     dirRadice.filePath(azienda).toStdString());
        if (QFileInfo::exists(tabkes)) {
            err << "kept: " << QDir::toNativeSeparators(tabkes) << " (already exists)\n";
            err.flush();
        } else {
            const ConteggiTabelle n = CreaTabelle(tabkes);
            out << "created: " << QDir::toNativeSeparators(tabkes) << " (" << n.province
                << " provinces, " << n.localita << " localities, " << n.nazioni << " nations)\n";
            out.flush();
        }
        QElapsedTimer tempo;
        tempo.start();
        CreaAzienda(completo, clienti);
        out << "created: " << QDir::toNativeSeparators(completo) << " (" << clienti << " clients, "
            << tempo.elapsed() << " ms)\n";
        out.flush();
    } catch (const motore::Errore& e) {
        err << "error: " << e.Descrizione() << "\n";
        err.flush();
        return 1;
    } catch (const std::exception& e) {
        err << "error: " << e.what() << "\n";
        err.flush();
        return 1;
    }
    return 0;
}

}  // namespace setup
