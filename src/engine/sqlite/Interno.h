#pragma once

// What the files of the SQLite engine share among themselves, never beyond it: the
// database and recordset classes, the reading and binding of values, the error of a result
// code. Only Scelta.cpp reaches the engine, through Sqlite.h.

#include "engine/Dialetto.h"
#include "engine/Motore.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>

namespace motore::sqlite {

// A mapping as large as the file may be: a search reads its pages without a system call
// each.
constexpr const char* kMappa = "PRAGMA mmap_size=2147418112";
// The size the log goes back to once copied into the file (4 MiB), instead of its largest.
constexpr const char* kLimiteRegistro = "PRAGMA journal_size_limit=4194304";
// Where the file's header keeps what is checked before SQLite opens it (big-endian): the
// page size, the write version (2 in write-ahead-log mode), the change counter, the page
// count and the counter's copy that tells whether that count is valid.
constexpr int kTestaPagina = 16, kTestaVersione = 18, kTestaModifiche = 24, kTestaPagine = 28,
              kTestaValidita = 92;
constexpr int kVersioneRegistro = 2;
// Rows after which a read's pages are let go of (see Rimappa).
constexpr qint64 kLetturaLunga = 10000;

// A column's size from its declared type: the width of a text, the bytes of a number.
int DimensioneDa(const QString& tipo);
// The value of a column of the statement's current row; null stays null.
QVariant ValoreColonna(sqlite3_stmt* st, int i);
// Binds a parameter (1 first); a date goes as its day number.
int Lega(sqlite3_stmt* st, int i, const QVariant& v);
// Resets a cached statement when it goes out of scope, so that no read lock outlives the
// call that took it.
struct Azzera {
    sqlite3_stmt* st;
    ~Azzera() {
        if (st) {
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
        }
    }
};

// The engine's error for an SQLite result code (extended codes on), with SQLite's own
// message as the detail.
Errore ErroreDa(int rc, const QString& dettaglio, const QString& percorso);
// A file in write-ahead-log mode whose log this connection cannot use.
Errore RegistroInutilizzabile(const QString& percorso, bool rete, const QString& causa);
// Whether the file's header says write-ahead-log mode.
bool InModalitaWal(const QString& percorso);
// The text of a pragma's first row, in lower case; empty when it fails, with the engine's
// code in rc.
QByteArray Pragma(sqlite3* db, const char* sql, int& rc);

class RecordsetSqlite;

class DatabaseSqlite final : public Database {
  public:
    DatabaseSqlite(sqlite3* db, const QString& percorso, Workspace& ws, bool rete)
        : Database(percorso, ws), db_(db), rete_(rete) {
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, ws.AttesaBlocco());
    }
    ~DatabaseSqlite() override { Close(); }

    std::unique_ptr<Recordset> OpenTable(const QString& tabella) override;
    std::unique_ptr<Recordset> OpenSnapshot(const QString& sql) override;
    void Esegui(const QString& sqlNativo, const QVariantList& parametri = {}) override;
    std::vector<QVariantList> Righe(const QString& sqlNativo,
                                    const QVariantList& parametri = {}) override;
    QStringList Piano(const QString& sql) override;
    QString Nativo(const QString& sql) override { return Traduci(sql); }
    bool Invariato(const QByteArray& versione) override;
    void CreaTabella(const QString& nome, const std::vector<DefColonna>& colonne) override;
    void CreaIndice(const QString& tabella, const QString& nome, const QStringList& colonne,
                    TipoIndice tipo) override;
    void Carica(const QString& tabella, const QStringList& colonne,
                const std::function<bool(QVariantList&)>& riga) override;
    QStringList Tabelle() override;
    std::vector<DefColonna> Colonne(const QString& tabella) override;
    std::vector<DefIndice> Indici(const QString& tabella) override;
    void Close() override;
    bool Aperto() const override { return db_ != nullptr; }

    // Every statement goes through here: inside a workspace transaction the database
    // joins it (taking the write lock) before its first statement runs.
    void PrimaDiEseguire();
    sqlite3_stmt* Prepara(const QString& sqlNativo);  // cached
    [[noreturn]] void Solleva(int rc) const;
    const std::vector<Colonna>& ColonneDi(const QString& tabella);
    // Whether an index of the table leads with the column compared case blind.
    bool Cercabile(const QString& tabella, const QString& colonna);
    // The table as the dialect orders it; null when there is none.
    const SchemaTabella* Schema(const QString& tabella);
    // The translation of a query in the forms' dialect.
    QString Traduci(const QString& sql);
    void Registra(RecordsetSqlite* rs) { recordset_.push_back(rs); }
    void Rimuovi(RecordsetSqlite* rs) {
        recordset_.erase(std::remove(recordset_.begin(), recordset_.end(), rs), recordset_.end());
    }
    sqlite3* Connessione() const { return db_; }
    // After a long read the file's mapping (see DatabaseDa) is made anew, so that the pages
    // that read touched leave the program's memory.
    void Rimappa();
    // Puts the file in write-ahead-log mode, where readers never hold up a writer; where that
    // cannot be the file keeps its rollback journal.
    void UsaRegistro();

  private:
    void CommitLocale() override;
    void RollbackLocale() override;
    void ImpostaAttesa(int millisecondi) override {
        if (db_) sqlite3_busy_timeout(db_, millisecondi);
    }

    // What the file holds as this connection sees it: the commits of other connections
    // (data_version) and the rows this one changed; empty inside a transaction.
    QByteArray Versione();

    // A write to a file that another was renamed over would land in the old file, or in a
    // log that the new one would then take for its own.
    void ControllaSpostato();

    sqlite3* db_ = nullptr;
    bool rete_;         // on a network folder: never in write-ahead-log mode
    bool wal_ = false;  // put in that mode by this connection
    bool inTransazione_ = false;
    std::map<QString, sqlite3_stmt*> istruzioni_;
    std::map<QString, std::vector<Colonna>> colonne_;
    std::map<QString, QStringList> cercabili_;  // by table, lower case
    std::map<QString, SchemaTabella> schemi_;   // by table, lower case
    qint64 versioneSchema_ = -1;                // the schema they were read from
    void ControllaVersione();
    std::vector<RecordsetSqlite*> recordset_;
};

class RecordsetSqlite final : public Recordset {
  public:
    RecordsetSqlite(DatabaseSqlite& db, bool tabella) : Recordset(tabella), db_(&db) {
        db.Registra(this);
    }
    ~RecordsetSqlite() override { Close(); }

    // The database was closed under us.
    void Staccato() {
        if (snapshot_) sqlite3_finalize(snapshot_);
        snapshot_ = nullptr;
        db_ = nullptr;
        Recordset::Staccato();
    }

  private:
    friend class DatabaseSqlite;
    bool Aperto() const override { return db_ != nullptr; }
    QStringList ColonneIndice(const QString& nome) override;
    bool Primo() override;
    bool Cerca(const QString& op, const QVariantList& chiavi) override;
    bool Successivo() override;
    void Inserisci(const std::vector<int>& colonne, const QVariantList& valori) override;
    void Aggiorna(const std::vector<int>& colonne, const QVariantList& valori) override;
    void Cancella() override;
    bool AvanzaSnapshot() override;
    QVariant ValoreSnapshot(int indice) const override { return ValoreColonna(snapshot_, indice); }
    QByteArrayView Utf8Snapshot(int indice, bool* nullo) const override;
    void Chiudi() override;

    void CaricaRiga(sqlite3_stmt* st, int primaColonna);
    QString Selezione() const;
    QString Ordine(bool discendente) const;
    bool Posiziona(const QString& sql, const QVariantList& parametri);

    DatabaseSqlite* db_;
    QString nomeTabella_;
    qint64 rowid_ = 0;                  // the current row of a table
    sqlite3_stmt* snapshot_ = nullptr;  // owned while the snapshot is being read
    mutable QByteArray numero_;         // the text of the last number FieldUtf8 gave
    mutable char cifre_[24] = {};       // ... when it was a whole one
    qint64 lette_ = 0;                  // rows the snapshot has read
    void FineLettura() {
        if (lette_ >= kLetturaLunga && db_) db_->Rimappa();
        lette_ = 0;
    }
};

}  // namespace motore::sqlite
