// Reads lines "CF code" or "IVA number" and writes, for each, the line followed by 1 when
// the program takes it (an Italian client's, check characters on) and 0 when it refuses it.

#include "data/RegoleCliente.h"

#include <iostream>
#include <string>

int main() {
    std::string riga;
    while (std::getline(std::cin, riga)) {
        const QString r = QString::fromStdString(riga);
        const QString valore = r.section(u' ', 1);
        const Difetto d = r.startsWith(QLatin1String("CF "))
                              ? DifettoCodiceFiscale(valore, true)
                              : DifettoPartitaIva(valore, QStringLiteral("IT"), true);
        std::cout << riga << ' ' << (d == Difetto::Nessuno ? 1 : 0) << '\n';
    }
    return 0;
}
