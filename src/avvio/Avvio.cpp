// Start-up: the command line chooses the installation, the environment file its settings;
// the two databases open with Retry, a login that may only read is told so at once.

#include "avvio/Avvio.h"

#include "app/Profilo.h"
#include "app/Toolkit.h"
#include "app/Valori.h"
#include "data/Clienti.h"
#include "ui/Global.h"

#include <QFile>
#include <QFileInfo>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kNorvalErrore = QStringLiteral("NORVAL - ERRORE");

bool FileNormale(const QString& percorso) {
    QFileInfo fi(percorso);
    return fi.exists() && fi.isFile();
}

// The group the installation was given: that of the database's folder, none while it is
// still root's; and whether this login is in it.
struct Gruppo {
    QString nome;
    bool membro = false;
};
Gruppo GruppoDi(const QString& percorso) {
    struct stat st {};
    const QByteArray cartella = QFile::encodeName(QFileInfo(percorso).absolutePath());
    if (::stat(cartella.constData(), &st) != 0 || st.st_gid == 0) return {};
    const group* gr = getgrgid(st.st_gid);
    if (!gr) return {};
    gid_t gruppi[256];
    const int n = getgroups(256, gruppi);
    bool membro = getegid() == st.st_gid;
    for (int i = 0; i < n && !membro; ++i) membro = gruppi[i] == st.st_gid;
    return {QString::fromLocal8Bit(gr->gr_name), membro};
}

// Why this login cannot write the database and what the administrator must run: a login
// outside the installation's group is put in it; otherwise the rights are given again.
QString DaEseguire(const Global& g, const QString& percorso, const QString& causa) {
    const Gruppo gruppo = GruppoDi(percorso);
    const passwd* utente = getpwuid(geteuid());
    if (!gruppo.nome.isEmpty() && !gruppo.membro && utente)
        return causa +
               QStringLiteral(
                   ".\nL'amministratore mette questo utente tra gli operatori con:\n"
                   "usermod -aG ") +
               gruppo.nome + u' ' + QString::fromLocal8Bit(utente->pw_name) +
               QStringLiteral("\n(poi l'utente rientra nella sessione)");
    QString radice = g.EnvironmentSettings.RootDirectory;
    if (radice.size() > 1 && radice.endsWith(u'/')) radice.chop(1);
    return causa +
           QStringLiteral(
               ".\nL'amministratore lo rende scrivibile agli operatori con:\n"
               "anagrafica-setup ") +
           radice + QStringLiteral(" --gruppo ") +
           (gruppo.nome.isEmpty() ? QStringLiteral("GRUPPO") : gruppo.nome);
}

// Opens one database on the workspace, asking Retry or Cancel until it opens or the
// operator gives up. One this login can only read is said so at once, with what the
// administrator must run, rather than at the first save; it stays open for consulting.
std::unique_ptr<motore::Database> ApriConRiprova(Global& g, const QString& percorso) {
    EnvironmentSettings& env = g.EnvironmentSettings;
    for (;;) {
        QString testo = QStringLiteral("DATABASE ") + percorso + QStringLiteral(" INESISTENTE");
        QString causa;
        try {
            if (!env.Workspace) env.Workspace = std::make_unique<motore::Workspace>(env.Server);
            causa = env.Workspace->NonScrivibile(percorso);
            auto db = env.Workspace->OpenDatabase(percorso);
            toolkit::AttendiEventi();
            if (!causa.isEmpty())
                g.MsgBox(QStringLiteral("DATABASE ") + percorso +
                             QStringLiteral(" NON AGGIORNABILE: si può solo consultare.\n") +
                             DaEseguire(g, percorso, causa),
                         Pulsanti::OK, Icona::Esclamazione, kNorvalErrore);
            return db;
        } catch (const motore::Errore& e) {
            // A file that is there but cannot serve is not "missing": say what is wrong.
            if (e.Numero() != motore::ErrFileMancante)
                testo = QStringLiteral("DATABASE ") + percorso + '\n' + e.Spiegazione();
            if (!causa.isEmpty()) testo += '\n' + DaEseguire(g, percorso, causa);
            if (g.MsgBox(testo, Pulsanti::RiprovaAnnulla, Icona::Critica, kNorvalErrore) !=
                Risposta::Riprova)
                return nullptr;
        }
    }
}

}  // namespace

bool InizializzaAmbiente(Global& g, const QString& rigaDiComando, const QString& cartellaProgramma,
                         const QString& cartellaSistema) {
    EnvironmentSettings& env = g.EnvironmentSettings;
    env.Mode = rigaDiComando.isEmpty() ? QStringLiteral(" ") : rigaDiComando.left(1);
    // The second character is a separator and is never looked at.
    g.ClientRecord.CliCodice = InteroDa(rigaDiComando.mid(2));
    if (env.Mode.trimmed().isEmpty()) env.Mode = QStringLiteral("E");
    const QString nome = env.Mode == QLatin1String("E") ? QStringLiteral("KestorEx.ini")
                                                        : QStringLiteral("KestorIm.ini");

    QString cartella = cartellaProgramma;
    if (!cartella.endsWith('/')) cartella += '/';
    env.EnvironmentFile = cartella + nome;
    if (!FileNormale(env.EnvironmentFile)) env.EnvironmentFile = cartellaSistema + nome;
    if (!FileNormale(env.EnvironmentFile)) {
        g.MsgBox(QStringLiteral("Il file di definizione Ambiente non esiste!"));
        return false;
    }
    env.HighlightColour = QColor(255, 255, 192);
    return true;
}

bool CaricaAmbiente(Global& g) {
    EnvironmentSettings& env = g.EnvironmentSettings;
    const QString& ini = env.EnvironmentFile;

    env.RootDirectory = LeggiIni(ini, QStringLiteral("PATH"), QStringLiteral("DIRINI"));
    // The drive root of the current directory: on this platform there is only one.
    if (env.RootDirectory.trimmed().isEmpty()) env.RootDirectory = QStringLiteral("/");
    if (!env.RootDirectory.endsWith('/')) env.RootDirectory += '/';

    env.TempDirectory = LeggiIni(ini, QStringLiteral("PATH"), QStringLiteral("TEMP"));
    if (env.TempDirectory.trimmed().isEmpty())
        env.TempDirectory = env.RootDirectory + QStringLiteral("temp/");

    env.CompanyCode = LeggiIni(ini, QStringLiteral("BASE"), QStringLiteral("DITTA"));
    if (env.CompanyCode.trimmed().isEmpty()) {
        g.MsgBox(QStringLiteral("DITTA  ") + env.CompanyCode + QStringLiteral("  non definita"));
        return false;
    }

    env.ControlloCifre =
        LeggiIni(ini, QStringLiteral("CONTROLLI"), QStringLiteral("CIFRE")) != QLatin1String("0");

    // The engine is chosen here, once: a server when the file names one, else the files. A
    // connection string cut short could drop what it asks for (sslmode=verify-full at the
    // end) and connect with less protection: refused, nothing opened.
    bool tagliato = false;
    env.Server =
        LeggiIni(ini, QStringLiteral("BASE"), QStringLiteral("SERVER"), &tagliato).trimmed();
    if (tagliato) {
        g.MsgBox(
            QStringLiteral("[BASE] SERVER più lungo di 99 caratteri: non si usa tagliato.\n"
                           "Scrivere la connessione in pg_service.conf e indicare qui "
                           "service=NOME"));
        return false;
    }
    env.CompanyDatabasePath = motore::PercorsoDitta(env.Server, env.RootDirectory, env.CompanyCode);
    ApriDatabaseDitta(g);
    if (!env.CompanyDatabaseOpen) return false;

    env.CodeTablesDatabasePath = motore::PercorsoTabelle(env.Server, env.RootDirectory);
    ApriDatabaseTabelle(g);
    if (!env.CodeTablesDatabase) return false;

    while (const Guasto guasto = ApriClienti(g)) {
        g.MessageTitle = QStringLiteral("ERRORE IN APERTURA ARCHIVIO CLIENTI");
        if (g.MsgBox(guasto->descrizione, Pulsanti::RiprovaAnnulla, Icona::Esclamazione,
                     g.MessageTitle) != Risposta::Riprova)
            break;
    }
    return g.ClientsTableOpen;
}

QString DidascaliaIniziale(const Global& g) {
    const EnvironmentSettings& env = g.EnvironmentSettings;
    return QStringLiteral("(") + env.CompanyCode +
           QStringLiteral(")   GESTIONE ANAGRAFICHE - KESTOR") +
           (env.Mode == QLatin1String("E") ? QStringLiteral(" (EXPORT)")
                                           : QStringLiteral(" (IMPORT)"));
}

void ApriDatabaseDitta(Global& g) {
    EnvironmentSettings& env = g.EnvironmentSettings;
    env.CompanyDatabaseOpen = false;
    env.CompanyDatabase.reset();
    env.CompanyDatabase = ApriConRiprova(g, env.CompanyDatabasePath);
    env.CompanyDatabaseOpen = env.CompanyDatabase != nullptr;
}

void ApriDatabaseTabelle(Global& g) {
    EnvironmentSettings& env = g.EnvironmentSettings;
    env.CodeTablesDatabase.reset();
    env.CodeTablesDatabase = ApriConRiprova(g, env.CodeTablesDatabasePath);
}

void ChiudiDatabaseDitta(Global& g) {
    EnvironmentSettings& env = g.EnvironmentSettings;
    if (env.CompanyDatabase) env.CompanyDatabase->Close();
    env.CompanyDatabase.reset();
    env.CompanyDatabaseOpen = false;
    toolkit::AttendiEventi();
}

void ChiudiAmbiente(Global& g) {
    EnvironmentSettings& env = g.EnvironmentSettings;
    ChiudiClienti(g);
    ChiudiDatabaseDitta(g);
    if (env.CodeTablesDatabase) env.CodeTablesDatabase->Close();
    env.CodeTablesDatabase.reset();
    env.Workspace.reset();
}
