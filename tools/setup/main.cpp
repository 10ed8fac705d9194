// anagrafica-setup: the only program that creates or fills databases; its exit code tells a
// script what happened (0 done, 1 failed or refused lines, 2 usage).

#include <QCoreApplication>
#include <QTextStream>

#include "Setup.h"

#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // A long import shows how far it has come, where someone watches.
    const setup::Avanzamento avanzamento =
        isatty(STDERR_FILENO) ? setup::AvanzamentoSuTerminale() : setup::Avanzamento();
    return setup::Esegui(QCoreApplication::arguments().mid(1), out, err, avanzamento);
}
