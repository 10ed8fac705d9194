#pragma once

// The session: what start-up reads and opens and every form then works in, the settings,
// the open databases and client record, the message service, and the hooks and measures
// start-up installs. One object holds it, so that a test starts from a fresh one. Dialogs
// hand their choice back as their result, not through here; the few slots below that are
// not the session say why they are shared.

#include "app/Messaggi.h"
#include "app/Toolkit.h"
#include "data/Sessione.h"

#include <QColor>
#include <QString>

class QWidget;

#include <cstdint>
#include <functional>
#include <memory>

class Global : public Sessione {
  public:
    Global() = default;
    Global(const Global&) = delete;
    Global& operator=(const Global&) = delete;

    // The similar-clients queries leave their text here, and the homonym warning in
    // MessageTitle for the client form to ask; the data layer titles its open errors there.
    QString QueryText;
    QString MessageTitle;

    // Where the search grid stood when a client was last chosen in it: the search opens
    // there again, for the whole run, though each opening is a new form.
    struct {
        std::int32_t TopRow = 0, Row = 0, Col = 0;  // 32-bit: a result may pass 32,767 rows
    } PosizioneGriglia;

    ServizioMessaggi Messaggi;

    // The field in error: its index (the focus goes back there), or one of these. Shared
    // because the forms opened over the client form start their checks from none, and its
    // leave logic finds that when they close.
    static constexpr std::int16_t kNessunErrore = 0;
    // A homonym the operator refused: back to the company name, with no message.
    static constexpr std::int16_t kErroreOmonimo = 51;
    std::int16_t FieldErrorNumber = kNessunErrore;
    // A box's text as it was entered, taken by the selection every form shares; the client
    // form puts it back when a value is refused.
    QString TestoIniziale;
    // A dialog of the client form is open (or just closed): the focus it moves is not the
    // operator's. The client form and the similar-clients list it opens share it.
    bool DialogoAperto = false;
    // The caption Ctrl+F8 put aside: one for every form, so that it gives back the caption
    // saved last, whichever form saved it.
    QString SavedCaption;

    // The taskbar as last measured: where it starts in pixels, how big in twips, and its edge
    // (0 bottom, 1 right, 2 top, 3 left).
    std::int32_t TaskbarTop = 0, TaskbarLeft = 0;
    std::int32_t TaskbarHeight = 0, TaskbarWidth = 0;
    std::uint8_t TaskbarSide = 0;

    // The screen and the taskbar as the window system reports them; tests replace them.
    std::function<toolkit::Schermo()> MisuraSchermo = toolkit::SchermoPrincipale;
    std::function<toolkit::Rettangolo()> MisuraTaskbar = toolkit::RettangoloTaskbar;

    // Ends the program at once; tests replace it to watch for the end.
    std::function<void()> End;

    // What the shared keys open, installed at start-up above the forms: the localities form
    // on its own, and the export of a form's grid.
    std::function<void(QWidget* chiamante)> ApriLocalita;
    std::function<void(QWidget& griglia, const QString& nomeForm)> EsportaGriglia;

    // Shows a message through the one message service; the operator's answer.
    Risposta MsgBox(const QString& testo, Pulsanti p = Pulsanti::OK, Icona i = Icona::Nessuna,
                    const QString& titolo = QString(), int predefinito = 0) {
        return Messaggi.Mostra(testo, titolo, p, i, predefinito);
    }
};
