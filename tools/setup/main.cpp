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
