#pragma once

// The few services of the window system that the forms use directly, measured the way the
// forms think: sizes in twips (1440 to the inch).

#include <QString>

class QPoint;
class QRect;
class QWidget;

class QColor;
class QPushButton;

namespace toolkit {

struct Schermo {
    int Width = 0;   // twips
    int Height = 0;  // twips
    int TwipsPerPixelX = 15;
    int TwipsPerPixelY = 15;
};

// The primary screen, as the forms see it.
Schermo SchermoPrincipale();

// Where the primary screen starts on the desktop, in pixels. The forms measure their places
// from its corner, as on a system whose primary screen is always at 0,0; here another screen
// may lie left of or above it.
QPoint OrigineSchermo();

// Pixels; Right and Bottom lie just past the last pixel, as the window system's rectangles.
struct Rettangolo {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// The desktop panel ("taskbar") of the primary screen, from that screen's corner; all zeros
// when there is none.
Rettangolo RettangoloTaskbar();

// The band along one edge of `schermo` that `disponibile` leaves out, all zeros when the two
// are the same.
Rettangolo BandaEsclusa(const QRect& schermo, const QRect& disponibile);

int PixelDaTwipX(int twips);
int PixelDaTwipY(int twips);
int TwipDaPixelX(int pixel);
int TwipDaPixelY(int pixel);

// Lets pending window events run (the classic DoEvents).
void AttendiEventi();

// The executable's own folder, ending with "/".
QString CartellaProgramma();

// The program's arguments joined by single blanks.
QString RigaDiComando(const QStringList& argomenti);

// A command button in the colour the form gives it, its caption bold; the focused one is
// outlined, since the style replaces the platform's own focus frame.
void ColoraPulsante(QPushButton& pulsante, const QColor& sfondo, bool grassetto = true);

}  // namespace toolkit
