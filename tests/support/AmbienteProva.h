#pragma once

// A throw-away installation for tests: a data root with the code-tables database, a
// company folder with its client database, and an environment file that points there.

#include "engine/Motore.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

class Global;

class AmbienteProva {
  public:
    AmbienteProva();

    QString Radice() const { return dir_.path() + '/'; }
    QString Programma() const { return Radice() + "bin/"; }
    QString Sistema() const { return Radice() + "etc/"; }
    QString PercorsoDitta() const { return Radice() + "01/Completo.mdb"; }
    QString PercorsoTabelle() const { return Radice() + "tabkes.mdb"; }
    QString FileIni() const { return Programma() + "KestorEx.ini"; }

    // Writes the environment file beside the program with the given text.
    void ScriviIni(const QByteArray& testo, const QString& nome = "KestorEx.ini") const;
    // The usual environment file: this root, company 01.
    void IniNormale() const;

    // Raw access to the company database, for preparing rows and checking writes.
    std::unique_ptr<motore::Database> ApriDitta(motore::Workspace& ws) const;
    void AggiungiCliente(int codice, const QString& ragsoc) const;
    // Opens both databases into g, as start-up would, for tests below the forms.
    void ApriDatabase(Global& g) const;

    static void CreaDitta(const QString& percorso, bool conClienti = true);
    static void CreaTabelle(const QString& percorso);
    // Adds the table of localities, with the shipped rows, to the code-tables database.
    void CreaLocalita() const;

  private:
    QTemporaryDir dir_;
};

// Readable QStrings in test failures.
#include <ostream>
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
