#pragma once

// The database engine layer: the only code that talks to SQLite. It offers what the forms
// expect of a file-based engine: a workspace with transactions, databases opened by path,
// table recordsets with named indexes and seeks, and read-only snapshots over SQL text
// written in the engine dialect the forms use (see Dialetto.h).

#include <QString>
#include <QStringList>
#include <QVariant>

#include <exception>
#include <map>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace motore {

// Error numbers, in the numbering the operators' manuals know.
enum CodiceErrore : int {
    ErrGenerico = 3000,
    ErrSenzaIndice = 3019,
    ErrNessunModifica = 3020,  // update without add or edit
    ErrNessunRecord = 3021,    // no current record
    ErrChiaveDuplicata = 3022,
    ErrFileMancante = 3024,
    ErrDiscoPieno = 3026,
    ErrSolaLettura = 3027,
    ErrIO = 3043,
    ErrDanneggiato = 3049,
    ErrAccesso = 3051,
    ErrSintassi = 3075,
    ErrTabellaMancante = 3078,
    ErrCampoTroppoPiccolo = 3163,
    ErrBloccato = 3218,
    ErrCampoMancante = 3265,
    ErrFormato = 3343,
    ErrIndiceMancante = 3800,
};

class Errore : public std::exception {
  public:
    Errore(int numero, QString descrizione);
    int Numero() const { return numero_; }
    const QString& Descrizione() const { return descrizione_; }
    // Number and description on one line, for messages that name the cause.
    QString Spiegazione() const {
        return QStringLiteral("Errore n. %1: %2").arg(numero_).arg(descrizione_);
    }
    const char* what() const noexcept override { return testo_.c_str(); }

  private:
    int numero_;
    QString descrizione_;
    std::string testo_;
};

class Database;
class Recordset;

// Workspace 0: owns the transaction that spans every database opened on it.
class Workspace {
  public:
    Workspace() = default;
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;
    ~Workspace();

    // Opens an existing database file, shared, read-write (read-only when the file is).
    // Never creates one: a missing, empty, foreign or damaged file raises an Errore.
    std::unique_ptr<Database> OpenDatabase(const QString& percorso);

    void BeginTrans();
    void CommitTrans();
    void Rollback();
    bool InTransazione() const { return inTransazione_; }

    // How long a writer waits for another program's lock before giving up.
    void ImpostaAttesaBlocco(int millisecondi);
    int AttesaBlocco() const { return attesaMs_; }

  private:
    friend class Database;
    void Registra(Database* db);
    void Rimuovi(Database* db);

    std::vector<Database*> databases_;
    bool inTransazione_ = false;
    int attesaMs_ = 3000;
};

// Describes one column of a table, as the table declares it.
struct Colonna {
    QString nome;
    QString tipo;  // declared type, e.g. "VARCHAR(35)"
    int dimensione = 0;
};

class Database {
  public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // For the setup tool only: creates a new empty database file; fails if it exists.
    static std::unique_ptr<Database> Crea(const QString& percorso, Workspace& ws);

    const QString& Percorso() const { return percorso_; }

    // A table-type recordset: updatable, with a selectable index, standing on its first row
    // (Eof when the table is empty).
    std::unique_ptr<Recordset> OpenTable(const QString& tabella);
    // A read-only, forward-only snapshot over SQL text in the forms' dialect.
    std::unique_ptr<Recordset> OpenSnapshot(const QString& sql);

    // Runs one native SQLite statement with positional parameters (schema building,
    // bulk loading, diagnostics). Statements are prepared once and kept.
    void Esegui(const QString& sqlNativo, const QVariantList& parametri = {});
    // First column of the first row of a native query, or null.
    QVariant Valore(const QString& sqlNativo, const QVariantList& parametri = {});
    // Every row of a native query, for diagnostics such as EXPLAIN QUERY PLAN.
    std::vector<QVariantList> Righe(const QString& sqlNativo, const QVariantList& parametri = {});

    void Close();
    bool Aperto() const { return db_ != nullptr; }

  private:
    friend class Workspace;
    friend class Recordset;
    Database(sqlite3* db, QString percorso, Workspace& ws);

    // Every statement goes through here: inside a workspace transaction the database
    // joins it (taking the write lock) before its first statement runs.
    void PrimaDiEseguire();
    sqlite3_stmt* Prepara(const QString& sqlNativo);  // cached
    [[noreturn]] void Solleva(int rc) const;
    void CommitLocale();
    void RollbackLocale();
    const std::vector<Colonna>& ColonneDi(const QString& tabella);
    // Whether an index of the table leads with the column compared case blind.
    bool Cercabile(const QString& tabella, const QString& colonna);

    sqlite3* db_ = nullptr;
    QString percorso_;
    Workspace* ws_ = nullptr;
    bool inTransazione_ = false;
    std::map<QString, sqlite3_stmt*> istruzioni_;
    std::map<QString, std::vector<Colonna>> colonne_;
    std::map<QString, QStringList> cercabili_;  // by table, lower case
    qint64 versioneCercabili_ = -1;             // the schema they were read from
    std::vector<Recordset*> recordset_;
};

// A recordset: a table (seek, add, edit, delete) or a snapshot (read forward).
class Recordset {
  public:
    ~Recordset();
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
    bool Eof() const { return eof_; }
    void MoveNext();
    void Close();

  private:
    friend class Database;
    Recordset(Database& db, bool tabella);
    void CaricaRiga(sqlite3_stmt* st, int primaColonna);
    int IndiceColonna(const QString& nome) const;
    int ColonnaObbligatoria(const QString& nome) const;
    void RichiediAperto() const;
    void RichiediTabella() const;
    QString Selezione() const;
    QString Ordine(bool discendente) const;
    bool Posiziona(const QString& sql, const QVariantList& parametri);
    void Staccato();  // the database was closed under us

    Database* db_;
    bool tabella_;
    QString nomeTabella_;
    std::vector<Colonna> colonne_;
    QString indice_;
    QStringList colonneIndice_;
    // Current row of a table recordset, identified by its rowid.
    bool haRiga_ = false;
    qint64 rowid_ = 0;
    std::vector<QVariant> riga_;
    bool noMatch_ = false;
    bool eof_ = true;
    enum class Modifica { Nessuna, Aggiunta, Variazione } modifica_ = Modifica::Nessuna;
    std::vector<QVariant> buffer_;
    std::vector<bool> toccate_;
    sqlite3_stmt* snapshot_ = nullptr;  // owned while the snapshot is being read
    mutable QByteArray numero_;         // the text of the last number FieldUtf8 gave
};

}  // namespace motore
