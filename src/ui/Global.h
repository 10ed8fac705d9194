#pragma once

// The shared slots of the program: the settings read at start-up, the one client record,
// the open client table and the exchange slots through which the forms hand values to each
// other. One object holds them all, so that a test can start from a fresh one.

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

    // Code-table exchange.
    QString TableName;
    QString SoughtCode;
    QString SoughtDescription;
    QString FoundCode;
    QString FoundDescription;
    int CodeWidth = 0;
    int DescriptionWidth = 0;
    QString QueryText;
    std::unique_ptr<motore::Recordset> CurrentCodeTable;
    std::uint8_t CurrentCodeTableKind = 0;

    // Locality exchange.
    QString LocalityCAP;
    QString LocalityName;
    QString LocalityProvince;

    // Where the search grid stood when a client was last chosen in it; kept across
    // openings of the search for the whole run.
    struct {
        std::int32_t TopRow = 0, Row = 0, Col = 0;  // 32-bit: a result may pass 32,767 rows
    } PosizioneGriglia;

    // Messages.
    QString MessageTitle;
    Risposta MessageAnswer = Risposta::OK;
    ServizioMessaggi Messaggi;

    // Field and focus slots.
    std::int16_t FieldErrorNumber = 0;
    QString TestoIniziale;
    bool DialogoAperto = false;
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

    // Shows a message through the one message service and keeps the answer.
    Risposta MsgBox(const QString& testo, Pulsanti p = Pulsanti::OK, Icona i = Icona::Nessuna,
                    const QString& titolo = QString(), int predefinito = 0) {
        MessageAnswer = Messaggi.Mostra(testo, titolo, p, i, predefinito);
        return MessageAnswer;
    }
};
