// The Retry/Cancel question for a table that cannot be opened.

#include "ui/Riprova.h"

#include "ui/Global.h"

std::function<bool(const Causa&)> RiprovaApertura(Global& g, const QString& titolo) {
    return [&g, titolo](const Causa& causa) {
        // Callers check fields in turn and keep the first error found in this slot.
        const std::int16_t errore = g.FieldErrorNumber;
        g.MessageTitle = titolo;
        const bool ancora =
            g.MsgBox(QString::number(causa.numero) + QStringLiteral(": ") + causa.descrizione,
                     Pulsanti::RiprovaAnnulla, Icona::Esclamazione,
                     g.MessageTitle) == Risposta::Riprova;
        g.FieldErrorNumber = errore;
        return ancora;
    };
}
