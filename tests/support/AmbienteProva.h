#pragma once

// A throw-away installation for tests: a data root with an environment file that points
// there, the code-tables database and a company's client database, either as files or as
// schemas of a database of its own on the test server.

#include "engine/Motore.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class Global;

enum class Motore { File, Server };

// The engines the tests run on: files always; the server when ANAGRAFICA_PG_PROVA gives its
// connection string, and on CI (CI=true) always, so that a missing server fails there.
std::vector<Motore> MotoriDiProva();
std::string NomeMotore(const ::testing::TestParamInfo<Motore>& info);

std::vector<Motore> SoloServer();

// One suite of tests over both engines.
#define SU_OGNI_MOTORE(Suite) \
    INSTANTIATE_TEST_SUITE_P(Motori, Suite, ::testing::ValuesIn(MotoriDiProva()), NomeMotore)
// A suite of what only a server does (a connection to lose, a server to refuse).
#define SOLO_SUL_SERVER(Suite)                                                              \
    INSTANTIATE_TEST_SUITE_P(Motori, Suite, ::testing::ValuesIn(SoloServer()), NomeMotore); \
    GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Suite)

class AmbienteProva {
  public:
    // `vuota`: no databases made, for the setup tool to make them. `base`: another server
    // than the shared test server.
    explicit AmbienteProva(Motore motore = Motore::File, bool vuota = false, QString base = {});
    ~AmbienteProva();
    AmbienteProva(const AmbienteProva&) = delete;
    AmbienteProva& operator=(const AmbienteProva&) = delete;

    bool SulServer() const { return !server_.isEmpty(); }
    // The environment file's [BASE] SERVER: empty for files.
    const QString& Server() const { return server_; }

    QString Radice() const { return dir_.path() + '/'; }
    QString Programma() const { return Radice() + "bin/"; }
    QString Sistema() const { return Radice() + "etc/"; }
    QString PercorsoDitta() const;
    QString PercorsoTabelle() const;
    QString FileIni() const { return Programma() + "KestorEx.ini"; }

    // Writes the environment file beside the program with the given text.
    void ScriviIni(const QByteArray& testo, const QString& nome = "KestorEx.ini") const;
    // The usual environment file: this root, company 01, and the server when there is one;
    // then `altro`, whole lines of its own.
    void IniNormale(const QByteArray& altro = {}) const;

    // Raw access to the company database, for preparing rows and checking writes.
    std::unique_ptr<motore::Database> ApriDitta(motore::Workspace& ws) const;
    std::unique_ptr<motore::Database> ApriTabelle(motore::Workspace& ws) const;
    void AggiungiCliente(int codice, const QString& ragsoc) const;
    // Opens both databases into g, as start-up would, for tests below the forms.
    void ApriDatabase(Global& g) const;
    // What a query reads from the company database (or the code tables) through another
    // program's connection, as the sqlite3 shell prints it: columns joined by "|", rows by a
    // line feed.
    QString Leggi(const QString& sql, bool tabelle = false) const;

    // Creates a database of this installation's kind (a file path, or a schema name on the
    // server) with the client table, or with another table only.
    void CreaDitta(const QString& nome, bool conClienti = true) const;
    void CreaTabelle(const QString& nome) const;
    // Adds the table of localities, with the shipped rows, to the code-tables database.
    void CreaLocalita() const;
    // A code table of the given rows, with its primary index.
    void CreaTabellaCodici(const QString& nome, int larghezzaCodice, int larghezzaDescrizione,
                           const std::vector<std::pair<QString, QString>>& righe) const;
    // Removes a database, as if it had never been made.
    void Elimina(const QString& nome) const;

    // Ends every connection to the test's database but the caller's own, as a server
    // restart would; they fail at their next use.
    void TroncaCollegamenti() const;

    // Native statements that make another program hold a table: against every access, or
    // against writes only (readers go on). A file in write-ahead-log mode (a local disk)
    // lets readers through either way: only workspaces opened as on a network folder keep
    // them out.
    QString SqlBloccoTotale(const QString& tabella) const;
    QString SqlBloccoScrittura(const QString& tabella) const;

  private:
    QTemporaryDir dir_;
    QString base_;
    QString server_;
    QString databaseServer_;  // the test's own database on the server
};

// A whole file's bytes ("<manca>" when it cannot be read); a file written whole.
QByteArray LeggiFile(const QString& nome);
void ScriviFile(const QString& nome, const QByteArray& dati);
// What the sqlite3 shell prints for a statement on a database file, trimmed: the files
// checked by a reader other than ours.
QString Sqlite3(const QString& file, const QString& sql);

// Readable QStrings in test failures.
#include <ostream>
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
