#include <QCoreApplication>
#include <QTextStream>

#include "Setup.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return setup::Esegui(QCoreApplication::arguments().mid(1), out, err);
}
