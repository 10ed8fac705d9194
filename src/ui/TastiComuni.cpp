// The function keys every form hands over first: each one acts the same on every form, and
// a consumed key never reaches the form's own handler.

#include "ui/TastiComuni.h"

#include "ui/Global.h"
#include "ui/Modulo.h"
#include "ui/Tasti.h"

int TastiComuni(Global& g, int codice, int shift, QWidget& form) {
    int risultato = codice;
    auto* modulo = qobject_cast<Modulo*>(&form);
    const bool ctrl = (shift & kControllo) != 0;
    // F2, with or without modifiers, leaves the form through its "&USCITA" button.
    if (codice == kTastoF2) {
        InviaTasti(QStringLiteral("%U"));
        risultato = 0;
    }
    if (codice == kTastoF5 && ctrl) {
        if (modulo && g.EsportaGriglia)
            for (const auto& c : modulo->Controls())
                if (c.tipo == QLatin1String("MSFlexGrid")) {
                    g.EsportaGriglia(*c.widget, modulo->Name());
                    break;
                }
        risultato = 0;
    }
    if (codice == kTastoF8 && ctrl && modulo && modulo->BorderStyle() > 0) {
        if (!modulo->Caption().endsWith(u'!')) {
            g.SavedCaption = modulo->Caption();
            modulo->SetCaption(modulo->Name() + QStringLiteral(" !"));
        } else {
            modulo->SetCaption(g.SavedCaption);
        }
    }
    if (codice == kTastoF2 && ctrl && (shift & kAlt)) {
        // Ends at once: no unload handler runs, so no form writes its placement.
        if (g.MsgBox(QStringLiteral("ESCO ?"), Pulsanti::SiNo, Icona::Esclamazione,
                     QStringLiteral("USCITA FORZATA"), 1) == Risposta::Si &&
            g.End)
            g.End();
    }
    if (codice == 'L' && ctrl && (shift & kMaiuscolo)) {
        if (g.ApriLocalita) g.ApriLocalita(&form);
        risultato = 0;
    }
    return risultato;
}
