#pragma once

// The database engine layer as the rest of the program sees it: a workspace with
// transactions, databases opened by name, table recordsets with named indexes and seeks,
// and read-only snapshots over SQL text written in the engine dialect the forms use (see
// Dialetto.h). Callers never learn which engine stands behind: the workspace's server, set
// once at the opening, chooses (Scelta.cpp), and every failure is an Errore (Errori.h).

#include "engine/Errori.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace motore {

// Where an installation keeps one company's clients and the shared code tables: files under
// the data root, or, with a server, schemas of one database on it. `server` is the
// server's connection string or service ("service=kestor"); empty means files.
QString PercorsoDitta(const QString& server, const QString& radice, const QString& ditta);
QString PercorsoTabelle(const QString& server, const QString& radice);

class Database;
class Recordset;

// Workspace 0: owns the transaction that spans every database opened on it.
class Workspace {
  public:
    // The usual waits, in milliseconds: for another program's lock, and for the server's
    // answer.
    static constexpr int kAttesaNormale = 3000;
    static constexpr int kScadenzaNormale = 12000;

    explicit Workspace(QString server = {});
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;
    ~Workspace();

    // Opens an existing database, shared, read-write (read-only when the file is). Never
    // creates one: a missing, empty, foreign or damaged one raises an Errore.
    std::unique_ptr<Database> OpenDatabase(const QString& nome);
    // For the setup tool and the tests: creates a new empty database (a file, or a schema
    // on the server); fails if it exists.
    std::unique_ptr<Database> CreaDatabase(const QString& nome);
    // Why this login could not save in a database it may open, when an administrator can
    // give the right (a file or folder another login made, or made unwritable); "" when it
    // can, on a server, or when the medium itself is read-only.
    QString NonScrivibile(const QString& nome) const;

    void BeginTrans();
    void CommitTrans();
    void Rollback();
    bool InTransazione() const { return inTransazione_; }

    // How long a writer waits for another program's lock before giving up.
    void ImpostaAttesaBlocco(int millisecondi);
    int AttesaBlocco() const { return attesaMs_; }

    // How long a request to the server may wait for its answer before the connection is
    // given up as lost (error 3146): a server that stops answering never holds the window
    // longer. Bulk work that the server takes long over sets more.
    void ImpostaScadenza(int millisecondi) { scadenzaMs_ = millisecondi; }
    int Scadenza() const { return scadenzaMs_; }

    // Files opened from now on are treated as if they lived on a network folder, whatever
    // their file system: the tests have no network folder to stand on.
    void ImpostaCartellaDiRete(bool si) { cartellaDiRete_ = si; }
    bool CartellaDiRete() const { return cartellaDiRete_; }

    const QString& Server() const { return server_; }
    // Requests sent to the server and answered so far; always 0 on files.
    qint64 Viaggi() const { return viaggi_; }

  private:
    friend class Database;
    void Registra(Database* db);
    void Rimuovi(Database* db);

    QString server_;
    std::vector<Database*> databases_;
    bool inTransazione_ = false;
    int attesaMs_ = kAttesaNormale;
    int scadenzaMs_ = kScadenzaNormale;
    bool cartellaDiRete_ = false;
    qint64 viaggi_ = 0;
};

// Describes one column of a table, as the table declares it.
struct Colonna {
    QString nome;
    QString tipo;  // declared type, e.g. "VARCHAR(35)"
    int dimensione = 0;
};

// A column to create: text of a fixed width, or a whole number when `larghezza` is 0.
struct DefColonna {
    QString nome;
    int larghezza = 0;
    bool obbligatoria = false;
};

enum class TipoIndice {
    Normale,
    Unico,
    // Compares its first column case blind, as the forms' queries do: their equalities,
    // ranges and prefixes seek it. The other columns ride along.
    Ricerca,
};

// An index as it is made: its name within the table, its columns, its kind.
struct DefIndice {
    QString nome;
    QStringList colonne;
    TipoIndice tipo = TipoIndice::Normale;
};

class Database {
  public:
    virtual ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const QString& Percorso() const { return percorso_; }

    // A table-type recordset: updatable, with a selectable index, standing on its first row
    // (Eof when the table is empty).
    virtual std::unique_ptr<Recordset> OpenTable(const QString& tabella) = 0;
    // A read-only, forward-only snapshot over SQL text in the forms' dialect.
    virtual std::unique_ptr<Recordset> OpenSnapshot(const QString& sql) = 0;

    // Runs one statement in the engine's own SQL with positional parameters written ?1, ?2
    // (schema changes, diagnostics, tests).
    virtual void Esegui(const QString& sqlNativo, const QVariantList& parametri = {}) = 0;
    // First column of the first row of a native query, or null.
    QVariant Valore(const QString& sqlNativo, const QVariantList& parametri = {});
    // Every row of a native query, for diagnostics such as a query plan.
    virtual std::vector<QVariantList> Righe(const QString& sqlNativo,
                                            const QVariantList& parametri = {}) = 0;
    // The query plan of SQL text in the forms' dialect, one line per step.
    virtual QStringList Piano(const QString& sql) = 0;
    // The engine's own text of a query in the forms' dialect, as a snapshot sends it.
    virtual QString Nativo(const QString& sql) = 0;
    // Whether nothing was committed, by this program or another, since the snapshot whose
    // Versione this is was opened: one cheap question at most. False when it cannot tell.
    virtual bool Invariato(const QByteArray& versione) = 0;

    // Schema building in the same words on every engine (setup tool, tests). Names are plain
    // identifiers.
    virtual void CreaTabella(const QString& nome, const std::vector<DefColonna>& colonne) = 0;
    virtual void CreaIndice(const QString& tabella, const QString& nome, const QStringList& colonne,
                            TipoIndice tipo) = 0;
    // Appends rows in bulk: `riga` fills the next row's values, in the order of `colonne`, and
    // returns false when there are no more.
    virtual void Carica(const QString& tabella, const QStringList& colonne,
                        const std::function<bool(QVariantList&)>& riga) = 0;
    // Names of the tables, as stored; a table's columns and named indexes, as CreaTabella
    // and CreaIndice would make them (copying a database to another engine).
    virtual QStringList Tabelle() = 0;
    virtual std::vector<DefColonna> Colonne(const QString& tabella) = 0;
    virtual std::vector<DefIndice> Indici(const QString& tabella) = 0;

    virtual void Close() = 0;
    virtual bool Aperto() const = 0;

  protected:
    Database(QString percorso, Workspace& ws);
    // This database among those the program opened, for its versions: a file opened again
    // counts its versions anew.
    qint64 Numero() const { return numero_; }
    // Called by the engine before a database goes away.
    void Stacca();
    Workspace* ws_ = nullptr;
    qint64& Viaggi() { return ws_ ? ws_->viaggi_ : viaggiSenzaWorkspace_; }

  private:
    friend class Workspace;
    virtual void CommitLocale() = 0;
    virtual void RollbackLocale() = 0;
    virtual void ImpostaAttesa(int millisecondi) = 0;

    QString percorso_;
    qint64 viaggiSenzaWorkspace_ = 0;
    qint64 numero_;
};

// A recordset: a table (seek, add, edit, delete) or a snapshot (read forward). What both
// engines share lives here; each engine reads and writes the rows.
class Recordset {
  public:
    virtual ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    bool Tabella() const { return tabella_; }

    // Table recordsets only. Choosing another index moves to the first row in its order.
    void SetIndex(const QString& nome);
    const QString& Index() const { return indice_; }
    // op is "=", "<=", ">=", "<" or ">"; one key per index column from the first on.
    // "<" and "<=" find the last row that satisfies the comparison, the others the first.
    void Seek(const QString& op, const QVariantList& chiavi);
    bool NoMatch() const { return noMatch_; }
    void AddNew();
    void Edit();
    void SetField(const QString& colonna, const QVariant& valore);
    void Update();
    // Update as the last write of the transaction: the engine may send it with the COMMIT,
    // one round trip fewer on a server, so that its failure comes from CommitTrans. The
    // row is not to be read again before then.
    void UpdateFinale();
    void CancelUpdate();
    void Delete();
    void MoveFirst();

    // Any recordset.
    QVariant Field(const QString& colonna) const;  // null stays null
    // By position, 0 first, for readers of many rows that look the names up once.
    QVariant Field(int indice) const;
    int FieldIndex(const QString& colonna) const { return ColonnaObbligatoria(colonna); }
    // Snapshots only: the value's text as the engine holds it, valid until the next call or
    // move; `nullo` tells a null from an empty text.
    QByteArrayView FieldUtf8(int indice, bool* nullo = nullptr) const;
    int FieldSize(const QString& colonna) const;
    QStringList FieldNames() const;
    // Snapshots only: what the database held when it was opened, for Database::Invariato;
    // empty when the engine cannot tell (inside a transaction).
    const QByteArray& Versione() const { return versione_; }
    bool Eof() const;
    void MoveNext();
    void Close();

  protected:
    explicit Recordset(bool tabella) : tabella_(tabella) {}

    // What each engine does. Positioning hooks return whether a row was found, and load it.
    virtual bool Aperto() const = 0;
    virtual QStringList ColonneIndice(const QString& nome) = 0;  // throws when there is none
    virtual bool Primo() = 0;
    virtual bool Cerca(const QString& op, const QVariantList& chiavi) = 0;
    virtual bool Successivo() = 0;
    virtual void Inserisci(const std::vector<int>& colonne, const QVariantList& valori) = 0;
    virtual void Aggiorna(const std::vector<int>& colonne, const QVariantList& valori) = 0;
    virtual void Cancella() = 0;
    virtual bool AvanzaSnapshot() = 0;
    virtual QVariant ValoreSnapshot(int indice) const = 0;
    virtual QByteArrayView Utf8Snapshot(int indice, bool* nullo) const = 0;
    virtual void Chiudi() = 0;
    // Lets an engine put off its first read until something looks at the row.
    virtual void Risolvi() const {}

    // The names of the columns at these positions, for the engine's insert and update.
    QStringList NomiDi(const std::vector<int>& colonne) const;
    void RichiediAperto() const;
    void RichiediTabella() const;
    int IndiceColonna(const QString& nome) const;
    int ColonnaObbligatoria(const QString& nome) const;
    // The database went away under the recordset.
    void Staccato();

    bool tabella_;
    std::vector<Colonna> colonne_;
    QString indice_;
    QStringList colonneIndice_;
    // Current row of a table recordset.
    bool haRiga_ = false;
    std::vector<QVariant> riga_;
    bool noMatch_ = false;
    bool eof_ = true;
    enum class Modifica { Nessuna, Aggiunta, Variazione } modifica_ = Modifica::Nessuna;
    std::vector<QVariant> buffer_;
    std::vector<bool> toccate_;
    // Set while UpdateFinale writes.
    bool ultimaScrittura_ = false;
    QByteArray versione_;
};

}  // namespace motore
