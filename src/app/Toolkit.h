#pragma once

#include <QString>

class QWidget;

// The few services of the window system that the forms use directly, measured the way the
// forms think: sizes in twips (1440 to the inch).
namespace toolkit {

struct Schermo {
    int Width = 0;   // twips
    int Height = 0;  // twips
    int TwipsPerPixelX = 15;
    int TwipsPerPixelY = 15;
};

// The primary screen, as the forms see it.
Schermo SchermoPrincipale();

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

}  // namespace toolkit

// Centres a form on the screen without changing its size or state.
void CentraFinestra(QWidget& form);
