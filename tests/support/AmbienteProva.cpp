#include "support/AmbienteProva.h"

#include "ui/Global.h"

#include "Setup.h"

#include <QDir>
#include <QFile>

AmbienteProva::AmbienteProva() {
    QDir(dir_.path()).mkpath("bin");
    QDir(dir_.path()).mkpath("etc");
    QDir(dir_.path()).mkpath("01");
    CreaDitta(PercorsoDitta());
    CreaTabelle(PercorsoTabelle());
}

void AmbienteProva::ScriviIni(const QByteArray& testo, const QString& nome) const {
    QFile f(Programma() + nome);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(testo);
}

void AmbienteProva::IniNormale() const {
    ScriviIni(("[PATH]\nDIRINI=" + Radice() + "\nTEMP=" + Radice() + "tmp/\n[BASE]\nDITTA=01\n")
                  .toUtf8());
}

std::unique_ptr<motore::Database> AmbienteProva::ApriDitta(motore::Workspace& ws) const {
    return ws.OpenDatabase(PercorsoDitta());
}

void AmbienteProva::ApriDatabase(Global& g) const {
    auto& env = g.EnvironmentSettings;
    env.Workspace = std::make_unique<motore::Workspace>();
    env.CompanyDatabase = env.Workspace->OpenDatabase(PercorsoDitta());
    env.CodeTablesDatabase = env.Workspace->OpenDatabase(PercorsoTabelle());
}

void AmbienteProva::AggiungiCliente(int codice, const QString& ragsoc) const {
    motore::Workspace ws;
    ApriDitta(ws)->Esegui("INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (?1, ?2)",
                          {codice, ragsoc});
}

void AmbienteProva::CreaDitta(const QString& percorso, bool conClienti) {
    motore::Workspace ws;
    auto db = ws.CreaDatabase(percorso);
    if (!conClienti) {
        db->Esegui("CREATE TABLE Altro (x INTEGER)");
        return;
    }
    db->Esegui(
        "CREATE TABLE Clienti (CliCodice INTEGER NOT NULL, CliRagsoc VARCHAR(35) COLLATE RTRIM, "
        "CliRagsocEstesa VARCHAR(35) COLLATE RTRIM, CliIndirizzo VARCHAR(35) COLLATE RTRIM, "
        "CliLocalita VARCHAR(35) COLLATE RTRIM, CliCap VARCHAR(9) COLLATE RTRIM, "
        "CliProvincia VARCHAR(3) COLLATE RTRIM, CliNazione VARCHAR(3) COLLATE RTRIM, "
        "CliPartitaIva VARCHAR(12) COLLATE RTRIM, CliCodiceFiscale VARCHAR(16) COLLATE RTRIM, "
        "CliCategoria VARCHAR(4) COLLATE RTRIM, CliTelefono VARCHAR(14) COLLATE RTRIM, "
        "CliContabile VARCHAR(9) COLLATE RTRIM, CliAcronimo VARCHAR(20) COLLATE RTRIM, "
        "CliEsenzioneNum VARCHAR(12) COLLATE RTRIM, CliEsenzioneDat INTEGER)");
    db->Esegui("CREATE UNIQUE INDEX \"Clienti.primaria\" ON Clienti(CliCodice)");
}

void AmbienteProva::CreaTabelle(const QString& percorso) {
    motore::Workspace ws;
    auto db = ws.CreaDatabase(percorso);
    db->Esegui(
        "CREATE TABLE PROVINCIE (CODICE VARCHAR(2) COLLATE RTRIM NOT NULL, Descrizione "
        "VARCHAR(40) COLLATE RTRIM)");
    db->Esegui("CREATE UNIQUE INDEX \"PROVINCIE.primaria\" ON PROVINCIE(CODICE)");
    db->Esegui("INSERT INTO PROVINCIE VALUES ('MI', 'MILANO'), ('RM', 'ROMA')");
    db->Esegui(
        "CREATE TABLE NAZIONI (CODICE VARCHAR(3) COLLATE RTRIM NOT NULL, Descrizione "
        "VARCHAR(60) COLLATE RTRIM, CodiceISO VARCHAR(2) COLLATE RTRIM)");
    db->Esegui("CREATE UNIQUE INDEX \"NAZIONI.primaria\" ON NAZIONI(CODICE)");
    db->Esegui("CREATE INDEX \"NAZIONI.CodiceISO\" ON NAZIONI(CodiceISO)");
    db->Esegui(
        "INSERT INTO NAZIONI VALUES ('380', 'ITALIA', 'IT'), ('086', 'OCEANO INDIANO', 'IO'), "
        "('276', 'GERMANIA', 'DE'), ('999', 'SENZA ISO', NULL)");
}

void AmbienteProva::CreaLocalita() const {
    motore::Workspace ws;
    auto db = ws.OpenDatabase(PercorsoTabelle());
    db->Esegui(
        "CREATE TABLE LOCALITA (LocLocalita VARCHAR(50) COLLATE RTRIM NOT NULL, LocCAP "
        "VARCHAR(5) COLLATE RTRIM NOT NULL, LocProvincia VARCHAR(2) COLLATE RTRIM, LocPrefisso "
        "VARCHAR(5) COLLATE RTRIM, LocRegione VARCHAR(3) COLLATE RTRIM)");
    db->Esegui("CREATE UNIQUE INDEX \"LOCALITA.primaria\" ON LOCALITA(LocLocalita, LocCAP)");
    ws.BeginTrans();
    for (const setup::Localita& l : setup::DatiLocalita())
        db->Esegui("INSERT INTO LOCALITA VALUES (?1, ?2, ?3, NULL, ?4)",
                   {l.nome, l.cap, l.provincia, l.regione});
    ws.CommitTrans();
}
