#include "ui/TastiComuni.h"

#include "ui/Tasti.h"

int TastiComuni(Global& g, int codice, int shift, QWidget& form) {
    (void)g;
    (void)shift;
    (void)form;
    int risultato = codice;
    // F2, with or without modifiers, leaves the form through its "&USCITA" button.
    if (codice == kTastoF2) {
        InviaTasti(QStringLiteral("%U"));
        risultato = 0;
    }
    return risultato;
}
