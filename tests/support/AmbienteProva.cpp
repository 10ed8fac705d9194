#include "support/AmbienteProva.h"

#include "ui/Global.h"

#include "Setup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

QString ServerDiProva() {
    return qEnvironmentVariable("ANAGRAFICA_PG_PROVA").trimmed();
}

const std::vector<motore::DefColonna> kClienti = {
    {"CliCodice", 0, true},   {"CliRagsoc", 35},   {"CliRagsocEstesa", 35},
    {"CliIndirizzo", 35},     {"CliLocalita", 35}, {"CliCap", 9},
    {"CliProvincia", 3},      {"CliNazione", 3},   {"CliPartitaIva", 12},
    {"CliCodiceFiscale", 16}, {"CliCategoria", 4}, {"CliTelefono", 14},
    {"CliContabile", 9},      {"CliAcronimo", 20}, {"CliEsenzioneNum", 12},
    {"CliEsenzioneDat", 0}};

}  // namespace

QByteArray LeggiFile(const QString& nome) {
    QFile f(nome);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<manca>");
}

void ScriviFile(const QString& nome, const QByteArray& dati) {
    QFile f(nome);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << nome.toStdString();
    f.write(dati);
}

QString Sqlite3(const QString& file, const QString& sql) {
    QProcess p;
    p.start("sqlite3", {"-batch", file, sql});
    EXPECT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0)
        << sql.toStdString() << ": " << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

std::vector<Motore> MotoriDiProva() {
    if (!ServerDiProva().isEmpty() || qEnvironmentVariable("CI") == QLatin1String("true"))
        return {Motore::File, Motore::Server};
    static const bool detto = [] {
        std::fprintf(stderr, "ANAGRAFICA_PG_PROVA is not set: the server tests do not run.\n");
        return true;
    }();
    (void)detto;
    return {Motore::File};
}

std::vector<Motore> SoloServer() {
    std::vector<Motore> v = MotoriDiProva();
    v.erase(std::remove(v.begin(), v.end(), Motore::File), v.end());
    return v;
}

std::string NomeMotore(const ::testing::TestParamInfo<Motore>& info) {
    return info.param == Motore::File ? "File" : "Server";
}

AmbienteProva::AmbienteProva(Motore motore, bool vuota, QString base)
    : base_(base.isEmpty() ? ServerDiProva() : std::move(base)) {
    QDir(dir_.path()).mkpath("bin");
    QDir(dir_.path()).mkpath("etc");
    QDir(dir_.path()).mkpath("01");
    if (motore == Motore::Server) {
        if (base_.isEmpty())
            throw std::runtime_error("ANAGRAFICA_PG_PROVA is not set: no server for the tests");
        // Each test a database of its own, so that tests run side by side.
        static std::atomic<int> contatore{0};
        databaseServer_ =
            QStringLiteral("prova_%1_%2").arg(QCoreApplication::applicationPid()).arg(contatore++);
        motore::Workspace ws(base_);
        auto db = ws.OpenDatabase("public");
        db->Esegui("DROP DATABASE IF EXISTS " + databaseServer_);
        db->Esegui("CREATE DATABASE " + databaseServer_);
        // The base's own database gives way: an environment file's value is short.
        QStringList parole = base_.split(' ', Qt::SkipEmptyParts);
        parole.removeIf([](const QString& p) { return p.startsWith("dbname="); });
        server_ = (parole << "dbname=" + databaseServer_).join(' ');
    }
    if (vuota) return;
    CreaDitta(PercorsoDitta());
    CreaTabelle(PercorsoTabelle());
}

AmbienteProva::~AmbienteProva() {
    if (databaseServer_.isEmpty()) return;
    try {
        motore::Workspace ws(base_);
        ws.OpenDatabase("public")->Esegui("DROP DATABASE IF EXISTS " + databaseServer_ +
                                          " WITH (FORCE)");
    } catch (const motore::Errore& e) {
        std::fprintf(stderr, "test database %s left: %s\n", qPrintable(databaseServer_),
                     qPrintable(e.Descrizione()));
    }
}

QString AmbienteProva::PercorsoDitta() const {
    return motore::PercorsoDitta(server_, Radice(), "01");
}

QString AmbienteProva::PercorsoTabelle() const {
    return motore::PercorsoTabelle(server_, Radice());
}

void AmbienteProva::ScriviIni(const QByteArray& testo, const QString& nome) const {
    ScriviFile(Programma() + nome, testo);
}

void AmbienteProva::IniNormale(const QByteArray& altro) const {
    QByteArray testo =
        ("[PATH]\nDIRINI=" + Radice() + "\nTEMP=" + Radice() + "tmp/\n[BASE]\nDITTA=01\n").toUtf8();
    if (SulServer()) testo += "SERVER=" + server_.toUtf8() + "\n";
    ScriviIni(testo + altro);
}

std::unique_ptr<motore::Database> AmbienteProva::ApriDitta(motore::Workspace& ws) const {
    return ws.OpenDatabase(PercorsoDitta());
}

std::unique_ptr<motore::Database> AmbienteProva::ApriTabelle(motore::Workspace& ws) const {
    return ws.OpenDatabase(PercorsoTabelle());
}

void AmbienteProva::ApriDatabase(Global& g) const {
    auto& env = g.EnvironmentSettings;
    env.Workspace = std::make_unique<motore::Workspace>(server_);
    env.CompanyDatabase = env.Workspace->OpenDatabase(PercorsoDitta());
    env.CodeTablesDatabase = env.Workspace->OpenDatabase(PercorsoTabelle());
}

void AmbienteProva::AggiungiCliente(int codice, const QString& ragsoc) const {
    motore::Workspace ws(server_);
    ApriDitta(ws)->Esegui("INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (?1, ?2)",
                          {codice, ragsoc});
}

QString AmbienteProva::Leggi(const QString& sql, bool tabelle) const {
    motore::Workspace ws(server_);
    QStringList righe;
    for (const QVariantList& r : (tabelle ? ApriTabelle(ws) : ApriDitta(ws))->Righe(sql)) {
        QStringList valori;
        for (const QVariant& v : r) valori << (v.isNull() ? QString() : v.toString());
        righe << valori.join('|');
    }
    return righe.join('\n').trimmed();
}

void AmbienteProva::CreaDitta(const QString& nome, bool conClienti) const {
    motore::Workspace ws(server_);
    auto db = ws.CreaDatabase(nome);
    if (!conClienti) {
        db->CreaTabella("Altro", {{"x", 0}});
        return;
    }
    db->CreaTabella("Clienti", kClienti);
    db->CreaIndice("Clienti", "primaria", {"CliCodice"}, motore::TipoIndice::Unico);
}

void AmbienteProva::CreaTabelle(const QString& nome) const {
    motore::Workspace ws(server_);
    auto db = ws.CreaDatabase(nome);
    db->CreaTabella("PROVINCIE", {{"CODICE", 2, true}, {"Descrizione", 40}});
    db->CreaIndice("PROVINCIE", "primaria", {"CODICE"}, motore::TipoIndice::Unico);
    db->Esegui("INSERT INTO PROVINCIE VALUES ('MI', 'MILANO'), ('RM', 'ROMA')");
    db->CreaTabella("NAZIONI", {{"CODICE", 3, true}, {"Descrizione", 60}, {"CodiceISO", 2}});
    db->CreaIndice("NAZIONI", "primaria", {"CODICE"}, motore::TipoIndice::Unico);
    db->CreaIndice("NAZIONI", "CodiceISO", {"CodiceISO"}, motore::TipoIndice::Normale);
    db->Esegui(
        "INSERT INTO NAZIONI VALUES ('380', 'ITALIA', 'IT'), ('086', 'OCEANO INDIANO', 'IO'), "
        "('276', 'GERMANIA', 'DE'), ('999', 'SENZA ISO', NULL)");
}

void AmbienteProva::CreaLocalita() const {
    motore::Workspace ws(server_);
    auto db = ApriTabelle(ws);
    db->CreaTabella("LOCALITA", {{"LocLocalita", 50, true},
                                 {"LocCAP", 5, true},
                                 {"LocProvincia", 2},
                                 {"LocPrefisso", 5},
                                 {"LocRegione", 3}});
    db->CreaIndice("LOCALITA", "primaria", {"LocLocalita", "LocCAP"}, motore::TipoIndice::Unico);
    ws.BeginTrans();
    size_t i = 0;
    const auto& dati = setup::DatiLocalita();
    db->Carica("LOCALITA", {"LocLocalita", "LocCAP", "LocProvincia", "LocPrefisso", "LocRegione"},
               [&](QVariantList& v) {
                   if (i == dati.size()) return false;
                   const setup::Localita& l = dati[i++];
                   v = {l.nome, l.cap, l.provincia, QVariant(), l.regione};
                   return true;
               });
    ws.CommitTrans();
}

void AmbienteProva::CreaTabellaCodici(const QString& nome, int larghezzaCodice,
                                      int larghezzaDescrizione,
                                      const std::vector<std::pair<QString, QString>>& righe) const {
    motore::Workspace ws(server_);
    auto db = ApriTabelle(ws);
    db->CreaTabella(nome,
                    {{"CODICE", larghezzaCodice, true}, {"Descrizione", larghezzaDescrizione}});
    db->CreaIndice(nome, "primaria", {"CODICE"}, motore::TipoIndice::Unico);
    ws.BeginTrans();
    size_t i = 0;
    db->Carica(nome, {"CODICE", "Descrizione"}, [&](QVariantList& v) {
        if (i == righe.size()) return false;
        v = {righe[i].first, righe[i].second};
        ++i;
        return true;
    });
    ws.CommitTrans();
}

void AmbienteProva::Elimina(const QString& nome) const {
    if (!SulServer()) {
        QFile::remove(nome);
        return;
    }
    motore::Workspace ws(server_);
    ws.OpenDatabase("public")->Esegui("DROP SCHEMA " + nome + " CASCADE");
}

void AmbienteProva::TroncaCollegamenti() const {
    motore::Workspace ws(base_);
    ws.OpenDatabase("public")->Esegui(
        "SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE datname = ?1",
        {databaseServer_});
}

QString AmbienteProva::SqlBloccoTotale(const QString& tabella) const {
    if (!SulServer()) return "BEGIN EXCLUSIVE";
    return "BEGIN; LOCK TABLE " + tabella + " IN ACCESS EXCLUSIVE MODE";
}

QString AmbienteProva::SqlBloccoScrittura(const QString& tabella) const {
    if (!SulServer()) return "BEGIN IMMEDIATE";
    return "BEGIN; LOCK TABLE " + tabella + " IN EXCLUSIVE MODE";
}
