#include "app/Applicativi.h"

#include "app/Profilo.h"
#include "ui/Global.h"
#include "ui/Valori.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace {

// The folders the desktop's association files live in, most important first.
QStringList CartelleConfigurazione() {
    QStringList c{QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)};
    const QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    c += dirs.split(u':', Qt::SkipEmptyParts);
    return c;
}

QStringList CartelleDati() {
    QStringList c{QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
    const QString dirs =
        qEnvironmentVariable("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    c += dirs.split(u':', Qt::SkipEmptyParts);
    return c;
}

// The entries of one key of a desktop-entry style file, in order.
QStringList Voci(const QString& file, const QString& gruppo, const QString& chiave) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    bool dentro = false;
    while (!f.atEnd()) {
        const QString riga = QString::fromUtf8(f.readLine()).trimmed();
        if (riga.startsWith(u'[')) {
            dentro = riga == u'[' + gruppo + u']';
        } else if (dentro && riga.startsWith(chiave + u'=')) {
            return riga.mid(chiave.size() + 1).split(u';', Qt::SkipEmptyParts);
        }
    }
    return {};
}

QString FileDesktop(const QString& nome) {
    for (const QString& d : CartelleDati()) {
        const QString p = d + QStringLiteral("/applications/") + nome;
        if (QFileInfo::exists(p)) return p;
    }
    return {};
}

// The default application for a MIME type, the way xdg-mime looks it up: the desktop's
// mimeapps.list files, then the caches of the installed desktop files.
QString DesktopPerTipo(const QString& tipo) {
    QStringList liste;
    for (const QString& d : CartelleConfigurazione()) liste << d + QStringLiteral("/mimeapps.list");
    for (const QString& d : CartelleDati())
        liste << d + QStringLiteral("/applications/mimeapps.list");
    for (const QString& l : liste)
        for (const QString& nome : Voci(l, QStringLiteral("Default Applications"), tipo))
            if (const QString p = FileDesktop(nome); !p.isEmpty()) return p;
    for (const QString& d : CartelleDati())
        for (const QString& nome : Voci(d + QStringLiteral("/applications/mimeinfo.cache"),
                                        QStringLiteral("MIME Cache"), tipo))
            if (const QString p = FileDesktop(nome); !p.isEmpty()) return p;
    return {};
}

}  // namespace

QString TraVirgolette(QString& percorso) {
    if (!percorso.trimmed().isEmpty() && percorso.contains(u' ')) percorso = u'"' + percorso + u'"';
    return percorso;
}

QStringList DividiRigaDiComando(const QString& riga) {
    return QProcess::splitCommand(riga);
}

QString TrovaEseguibile(const QString& documento) {
    const QFileInfo info(documento);
    if (!info.exists())
        return (QFileInfo(info.absolutePath()).isDir()
                    ? QStringLiteral("#File non trovato\n")
                    : QStringLiteral("#Percorso non trovato\n")) +
               documento;
    const QMimeDatabase mime;
    QString desktop;
    QMimeType tipo = mime.mimeTypeForFile(info);
    // Without the shared MIME database the office's own files still have their type.
    if ((!tipo.isValid() || tipo.isDefault()) &&
        info.suffix().compare("csv", Qt::CaseInsensitive) == 0)
        desktop = DesktopPerTipo(QStringLiteral("text/csv"));
    for (QMimeType t = tipo; t.isValid() && desktop.isEmpty();) {
        desktop = DesktopPerTipo(t.name());
        // A type with no program of its own opens with the one of its parent (text/csv with
        // that of text/plain).
        const QStringList padri = t.parentMimeTypes();
        t = padri.isEmpty() ? QMimeType() : mime.mimeTypeForName(padri.first());
    }
    if (desktop.isEmpty()) return QStringLiteral("#Nessuna associazione per\n") + documento;
    const QStringList exec = QProcess::splitCommand(
        Voci(desktop, QStringLiteral("Desktop Entry"), QStringLiteral("Exec")).join(u';'));
    const QString programma =
        exec.isEmpty() ? QString() : QStandardPaths::findExecutable(exec.first());
    if (programma.isEmpty()) return QStringLiteral("#Formato errato\n") + documento;
    return programma;
}

void ApriApplicativo(Global& g, QString& applicazione, QString& documento, const QString& extra) {
    const QString nome = applicazione.toUpper();
    if (nome != QLatin1String("EXCEL") && nome != QLatin1String("EDITOR")) return;
    applicazione = TestoDaNull(LeggiIni(g.EnvironmentSettings.EnvironmentFile,
                                        QStringLiteral("APPLICATIVI"), applicazione),
                               QStringLiteral(" "))
                       .trimmed();
    QString esiste = applicazione;
    if (applicazione.isEmpty() || !EsisteFile(esiste, g.Messaggi)) {
        if (documento.isEmpty() || !documento.contains(u'.')) {
            g.MsgBox(applicazione + QStringLiteral("  NON TROVATO"));
            return;
        }
        applicazione = TrovaEseguibile(documento);
        if (applicazione.startsWith(u'#')) {
            g.MsgBox(applicazione);
            return;
        }
    }
    if (!documento.startsWith(u'"')) TraVirgolette(documento);
    const QString riga = TraVirgolette(applicazione) + u' ' + documento + u' ' + extra;
    // Split as its quotes say and started directly: no shell ever reads a file name.
    QStringList parti = DividiRigaDiComando(riga);
    const QString programma = parti.isEmpty() ? QString() : parti.takeFirst();
    if (programma.isEmpty() || !QProcess::startDetached(programma, parti))
        g.MsgBox(applicazione + QStringLiteral("  NON TROVATO"));
}
