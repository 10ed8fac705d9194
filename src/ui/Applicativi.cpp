// The office's programs on a document through GIO, as the desktop's own menus start them: the
// entry's Exec expanded by the desktop-entry rules, never through a shell, so a document's
// name can never become a command.

#include "ui/Applicativi.h"

#include "app/Documenti.h"
#include "app/Profilo.h"
#include "app/Valori.h"
#include "ui/Global.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <memory>
#include <optional>

// GLib names a structure member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace {

template <typename T>
using Oggetto = std::unique_ptr<T, decltype([](T* o) { g_object_unref(o); })>;
using Testo = std::unique_ptr<char, decltype([](char* t) { g_free(t); })>;

// What an entry's field codes stand for.
struct Voce {
    QString documento, nome, icona, file;
};

QString Quotato(const QString& testo) {
    return QString::fromUtf8(Testo(g_shell_quote(testo.toUtf8().constData())).get());
}

// The entry's Exec with its field codes expanded as freedesktop.org's desktop entries define
// them and as GIO expands them, each value quoted before the line is split: the file codes
// give the document (as a path, which those rules allow for %u and %U too), %i "--icon" and
// the icon or nothing, the deprecated codes nothing. Any other code makes the line invalid.
std::optional<QString> Espandi(const QString& exec, const Voce& v, bool& conFile) {
    QString riga;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        if (exec[i] != u'%') {
            riga += exec[i];
            continue;
        }
        if (++i == exec.size()) return std::nullopt;
        switch (exec[i].unicode()) {
            case u'%':
                riga += u'%';
                break;
            case u'f':
            case u'F':
            case u'u':
            case u'U':
                riga += Quotato(v.documento);
                conFile = true;
                break;
            case u'i':
                if (!v.icona.isEmpty()) riga += QStringLiteral("--icon ") + Quotato(v.icona);
                break;
            case u'c':
                riga += Quotato(v.nome);
                break;
            case u'k':
                riga += Quotato(v.file);
                break;
            case u'd':
            case u'D':
            case u'n':
            case u'N':
            case u'v':
            case u'm':
                break;
            default:
                return std::nullopt;
        }
    }
    return riga;
}

// The desktop's default application for the document's type, or for its parents' types.
Oggetto<GAppInfo> ApplicazionePredefinita(const QString& documento) {
    Oggetto<GFile> file(g_file_new_for_path(QFile::encodeName(documento).constData()));
    Oggetto<GFileInfo> info(g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                              G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
    const char* tipo = info ? g_file_info_get_content_type(info.get()) : nullptr;
    Oggetto<GAppInfo> app(tipo ? g_app_info_get_default_for_type(tipo, FALSE) : nullptr);
    // Without the shared MIME database the office's own files still have their type.
    if (!app && (!tipo || g_content_type_is_unknown(tipo)) &&
        QFileInfo(documento).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
        app.reset(g_app_info_get_default_for_type("text/csv", FALSE));
    return app;
}

// The program a command starts, past the `env` that may set its environment.
qsizetype IndiceProgramma(const QStringList& comando) {
    qsizetype i = 0;
    if (i < comando.size() && QFileInfo(comando[i]).fileName() == QLatin1String("env"))
        for (++i; i < comando.size() && (comando[i].contains(u'=') || comando[i].startsWith(u'-'));)
            ++i;
    return i;
}

}  // namespace

QString TraVirgolette(QString& percorso) {
    if (!percorso.trimmed().isEmpty() && percorso.contains(u' ')) percorso = u'"' + percorso + u'"';
    return percorso;
}

QStringList DividiRigaDiComando(const QString& riga) {
    return QProcess::splitCommand(riga);
}

QString ComandoAssociato(const QString& documento, QStringList& comando) {
    comando.clear();
    const QFileInfo info(documento);
    if (!info.exists())
        return (QFileInfo(info.absolutePath()).isDir()
                    ? QStringLiteral("#File non trovato\n")
                    : QStringLiteral("#Percorso non trovato\n")) +
               documento;
    // The desktop passes over an entry whose program is missing, as it does on its menus.
    const Oggetto<GAppInfo> app = ApplicazionePredefinita(documento);
    if (!app) return QStringLiteral("#Nessuna associazione per\n") + documento;
    const QString errato = QStringLiteral("#Formato errato\n") + documento;
    Voce v{documento, QString::fromUtf8(g_app_info_get_name(app.get())), {}, {}};
    if (G_IS_DESKTOP_APP_INFO(app.get())) {
        auto* desktop = G_DESKTOP_APP_INFO(app.get());
        v.icona = QString::fromUtf8(Testo(g_desktop_app_info_get_string(desktop, "Icon")).get());
        v.file = QFile::decodeName(g_desktop_app_info_get_filename(desktop));
    }
    bool conFile = false;
    const std::optional<QString> riga =
        Espandi(QString::fromUtf8(g_app_info_get_commandline(app.get())), v, conFile);
    int n = 0;
    char** parole = nullptr;
    if (!riga || !g_shell_parse_argv(riga->toUtf8().constData(), &n, &parole, nullptr))
        return errato;
    for (int i = 0; i < n; ++i) comando << QString::fromUtf8(parole[i]);
    g_strfreev(parole);
    // An entry that takes no file still gets the document, or it would open empty.
    if (!conFile) comando << documento;
    // The program, and the env before it, must be there to be started.
    for (const qsizetype i : {qsizetype(0), IndiceProgramma(comando)})
        if (i >= comando.size() || QStandardPaths::findExecutable(comando[i]).isEmpty())
            return errato;
    comando[0] = QStandardPaths::findExecutable(comando[0]);
    // A program made for a terminal gets one, as the desktop gives it.
    if (G_IS_DESKTOP_APP_INFO(app.get()) &&
        g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(app.get()), "Terminal")) {
        const QString terminale = QStandardPaths::findExecutable("x-terminal-emulator");
        if (terminale.isEmpty()) return errato;
        comando = QStringList{terminale, QStringLiteral("-e")} + comando;
    }
    return {};
}

QString TrovaEseguibile(const QString& documento) {
    QStringList comando;
    const QString errore = ComandoAssociato(documento, comando);
    return errore.isEmpty() ? comando.first() : errore;
}

void ApriApplicativo(Global& g, QString& applicazione, QString& documento, const QString& extra,
                     const QStringList& perLibreOffice) {
    const QString nome = applicazione.toUpper();
    if (nome != QLatin1String("EXCEL") && nome != QLatin1String("EDITOR")) return;
    applicazione = TestoDaNull(LeggiIni(g.EnvironmentSettings.EnvironmentFile,
                                        QStringLiteral("APPLICATIVI"), applicazione),
                               QStringLiteral(" "))
                       .trimmed();
    QString esiste = applicazione;
    QStringList comando;
    if (applicazione.isEmpty() || !EsisteFile(esiste, g.Messaggi)) {
        if (documento.isEmpty() || !documento.contains(u'.')) {
            g.MsgBox(applicazione + QStringLiteral("  NON TROVATO"));
            return;
        }
        const QString errore = ComandoAssociato(documento, comando);
        if (!errore.isEmpty()) {
            applicazione = errore;
            g.MsgBox(applicazione);
            return;
        }
        applicazione = comando.first();
        TraVirgolette(applicazione);
        if (!documento.startsWith(u'"')) TraVirgolette(documento);
        comando += DividiRigaDiComando(extra);
    } else {
        if (!documento.startsWith(u'"')) TraVirgolette(documento);
        // Split as its quotes say: no shell ever reads a file name.
        comando =
            DividiRigaDiComando(TraVirgolette(applicazione) + u' ' + documento + u' ' + extra);
    }
    const qsizetype p = IndiceProgramma(comando);
    if (p < comando.size() && ProgrammaLibreOffice(comando[p]))
        for (qsizetype i = 0; i < perLibreOffice.size(); ++i)
            comando.insert(p + 1 + i, perLibreOffice[i]);
    const QString programma = comando.isEmpty() ? QString() : comando.takeFirst();
    if (programma.isEmpty() || !QProcess::startDetached(programma, comando))
        g.MsgBox(applicazione + QStringLiteral("  NON TROVATO"));
}
