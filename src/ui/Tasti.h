#pragma once

// Keys synthesised by the forms (a full field sends Enter, F2 sends Alt+U) and the text
// selection made when a field is entered.

#include <QString>
#include <Qt>

#include <vector>

class Global;
class QComboBox;
class QKeyEvent;
class QLineEdit;
class QWidget;

struct EventoTasto {
    bool giu = true;  // key down, else key up
    int codice = 0;   // virtual-key code, as the forms number keys
    int tasto = 0;    // Qt::Key
    Qt::KeyboardModifiers modificatori;
    QString testo;
};

// The events one key string stands for, in the order they are sent: modifier down, key
// down, key up, modifier up. The string loses a leading "+", and the modifier takes 16
// (Shift) for "+" or 18 (Alt) for "%".
std::vector<EventoTasto> SequenzaTasti(QString& tasti, int& modificatore);

// Queues the events of a key string to the window that has the focus: they arrive after
// the current handler returns, through the same path as typed keys, so Tab moves the focus
// and Alt+letter presses the button with that access key.
void InviaTasti(QString& tasti, int& modificatore);
void InviaTasti(const QString& tasti);

// From now on every key, typed or sent, goes to the window that has the keyboard when the
// key is handled, not to the one it was typed at: keys typed ahead while a window opens
// reach it instead of the window it now blocks, and keys typed as one closes reach the
// window that gets the keyboard back. Once, at start-up.
void TastiAllaFinestraAttiva();
// A form says when work it queued is pending (true) and when it has run (false): focus
// handling, or the press of the button an access key took. Keys typed meanwhile wait for it,
// as they would behind handlers that run at once.
void LavoroInSospeso(const QWidget* modulo, bool inizio);

// Selects the first 100 characters of the control's text and keeps the trimmed text in
// TestoIniziale.
void SelezionaTesto(Global& g, QLineEdit& campo);
void SelezionaTesto(Global& g, QComboBox& campo);

// The forms' key numbering for a Qt key event: the key code, the shift state (1 Shift,
// 2 Ctrl, 4 Alt) and the character a key-press handler gets (0 when none).
int CodiceTasto(int tastoQt);
int StatoMaiuscole(Qt::KeyboardModifiers m);
int CarattereDi(const QKeyEvent& e);

constexpr int kTastoInvio = 13;
constexpr int kTastoTab = 9;
constexpr int kTastoEsc = 27;
constexpr int kTastoHome = 36;
constexpr int kTastoSu = 38;
constexpr int kTastoGiu = 40;
constexpr int kTastoF2 = 113;
constexpr int kTastoF4 = 115;
constexpr int kTastoF5 = 116;
constexpr int kTastoF8 = 119;
constexpr int kMaiuscolo = 1;
constexpr int kControllo = 2;
constexpr int kAlt = 4;
