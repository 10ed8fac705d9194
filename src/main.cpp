// The program: the client form as the start-up form, with the hooks that let the shared keys
// open the other forms installed before it loads. Italian everywhere, captions exact.

#include "app/Profilo.h"
#include "app/Toolkit.h"
#include "avvio/Ganci.h"
#include "clients/GesCliC.h"
#include "ui/Global.h"
#include "ui/Tasti.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The name the desktop knows the program by (WM_CLASS, desktop file). No display name:
    // the window system would append it to every caption, and captions must be exact.
    QApplication::setApplicationName(QStringLiteral("anagrafica"));
    QGuiApplication::setDesktopFileName(QStringLiteral("it.kestor.anagrafica"));
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));

    // The standard buttons of the message boxes speak Italian.
    QTranslator traduzione;
    if (traduzione.load(QLocale(QLocale::Italian), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&traduzione);

    TastiAllaFinestraAttiva();
    Global g;
    g.End = [] { std::exit(0); };
    InstallaGanci(g);
    GesCliC form(g);
    const QString riga = toolkit::RigaDiComando(QApplication::arguments().mid(1));
    if (!form.Form_Initialize(riga, toolkit::CartellaProgramma(), DirWindows())) return 0;
    if (!form.Carica()) return 0;
    form.show();
    // Without a window manager nobody activates it, and its access keys (F2 among them)
    // would wait for a first dialog.
    form.activateWindow();
    return QApplication::exec();
}
