#pragma once

// Creation of the program's two databases: the shared code tables (tabkes.mdb) and one
// company's client file (Completo.mdb), optionally filled with generated sample clients.
// The program never creates a database; this tool is the only place that does.

#include "Importa.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

class QTextStream;

namespace motore {
class Database;
}

namespace setup {

// Reference data embedded in the tool, as converted into data/*.tsv.
struct Localita {
    QString nome;
    QString cap;
    QString provincia;
    QString regione;
    QString catastale;
};
struct Provincia {
    QString codice;
    QString nome;
};
struct Nazione {
    QString codice;  // ISO 3166-1 numeric, three digits
    QString nome;
    QString iso;  // alpha-2
};
const std::vector<Localita>& DatiLocalita();
const std::vector<Provincia>& DatiProvince();
const std::vector<Nazione>& DatiNazioni();

// One Clienti row as the program stores it: ragsoc trimmed, every other text column
// blank-padded to its declared width.
struct Cliente {
    qint64 codice = 0;
    QString ragsoc;
    QString ragsocEstesa;
    QString indirizzo;
    QString localita;
    QString cap;
    QString provincia;
    QString nazione;
    QString partitaIva;
    QString codiceFiscale;
    QString categoria;
    QString telefono;
    QString contabile;
    QString acronimo;
    QString esenzioneNum;
    qint64 esenzioneDat = 0;  // days since 30 Dec 1899, 0 when there is none
};

// The sample client with this code (1-based). Depends on the code alone, so the same code
// always gives the same row.
Cliente ClienteEsempio(qint64 codice);

struct ConteggiTabelle {
    int province = 0;
    int localita = 0;
    int nazioni = 0;
};

// Both create the file at percorso and fail (motore::Errore or std::exception) if it exists.
// The file appears only once complete: it is built under a temporary name and renamed.
ConteggiTabelle CreaTabelle(const QString& percorso);
void CreaAzienda(const QString& percorso, qint64 clientiEsempio);
// The tables, their rows and their indexes, on a database of either engine, empty before.
ConteggiTabelle RiempiTabelle(motore::Database& db);
void RiempiAzienda(motore::Database& db, qint64 clientiEsempio);
// Every table of one database into another, rows, columns and indexes as they are; the rows
// copied per table. Fails when a table's rows do not all arrive.
std::vector<std::pair<QString, qint64>> Copia(motore::Database& da, motore::Database& a);

// Italian fiscal code of a person, check character included.
QString CodiceFiscale(const QString& cognome, const QString& nome, QDate nascita, bool femmina,
                      const QString& catastale);

// Day number as the program stores dates: days since 30 Dec 1899.
qint64 NumeroGiorno(QDate data);

// The command line: anagrafica-setup ROOT COMPANY [--sample-clients N], or on a server
// anagrafica-setup --server CONNINFO COMPANY [--sample-clients N] and
// anagrafica-setup --server CONNINFO --copia ROOT COMPANY; and into an existing company
// anagrafica-setup ROOT COMPANY --importa-clienti FILE (or --server CONNINFO COMPANY ...).
// Returns the exit code: 0 done, 1 failure, existing company or rejected lines, 2 usage error.
int Esegui(const QStringList& argomenti, QTextStream& out, QTextStream& err,
           const Avanzamento& avanzamento = {});

}  // namespace setup
