// Screen, taskbar and twips from Qt's screens, so that every form measures the same way on
// any display; the few window-system services the forms call directly.

#include "app/Toolkit.h"

#include <QColor>
#include <QPushButton>

#include <QApplication>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include <cmath>

namespace toolkit {

namespace {

int TwipsPerPixel(qreal dpi) {
    if (dpi <= 0) return 15;
    return std::max(1, static_cast<int>(std::lround(1440.0 / dpi)));
}

}  // namespace

Schermo SchermoPrincipale() {
    Schermo s;
    QScreen* scr = QGuiApplication::primaryScreen();
    if (!scr) return s;
    s.TwipsPerPixelX = TwipsPerPixel(scr->logicalDotsPerInchX());
    s.TwipsPerPixelY = TwipsPerPixel(scr->logicalDotsPerInchY());
    s.Width = scr->geometry().width() * s.TwipsPerPixelX;
    s.Height = scr->geometry().height() * s.TwipsPerPixelY;
    return s;
}

QPoint OrigineSchermo() {
    QScreen* scr = QGuiApplication::primaryScreen();
    return scr ? scr->geometry().topLeft() : QPoint();
}

Rettangolo RettangoloTaskbar() {
    QScreen* scr = QGuiApplication::primaryScreen();
    if (!scr) return {};
    const QPoint o = scr->geometry().topLeft();
    return BandaEsclusa(scr->geometry().translated(-o), scr->availableGeometry().translated(-o));
}

Rettangolo BandaEsclusa(const QRect& schermo, const QRect& disponibile) {
    const int destra = schermo.x() + schermo.width();
    const int fondo = schermo.y() + schermo.height();
    const int destraLibera = disponibile.x() + disponibile.width();
    const int fondoLibero = disponibile.y() + disponibile.height();
    // Panels on several edges: the forms only keep clear of the bottom, right and left ones,
    // so those win over a top bar.
    if (fondoLibero < fondo) return {schermo.x(), fondoLibero, destra, fondo};
    if (destraLibera < destra) return {destraLibera, schermo.y(), destra, fondo};
    if (disponibile.x() > schermo.x()) return {schermo.x(), schermo.y(), disponibile.x(), fondo};
    if (disponibile.y() > schermo.y()) return {schermo.x(), schermo.y(), destra, disponibile.y()};
    return {};
}

int PixelDaTwipX(int twips) {
    return static_cast<int>(std::lround(double(twips) / SchermoPrincipale().TwipsPerPixelX));
}

int PixelDaTwipY(int twips) {
    return static_cast<int>(std::lround(double(twips) / SchermoPrincipale().TwipsPerPixelY));
}

int TwipDaPixelX(int pixel) {
    return pixel * SchermoPrincipale().TwipsPerPixelX;
}

int TwipDaPixelY(int pixel) {
    return pixel * SchermoPrincipale().TwipsPerPixelY;
}

void AttendiEventi() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

QString CartellaProgramma() {
    QString d = QCoreApplication::applicationDirPath();
    if (!d.endsWith('/')) d += '/';
    return d;
}

QString RigaDiComando(const QStringList& argomenti) {
    // An empty argument (a launcher's unset variable) keeps its place as a blank, so that
    // those after it keep theirs: "" 17 is the default mode and client 17, not client 7.
    QStringList parti;
    for (const QString& a : argomenti) parti << (a.isEmpty() ? QStringLiteral(" ") : a);
    return parti.join(u' ');
}

}  // namespace toolkit

void toolkit::ColoraPulsante(QPushButton& pulsante, const QColor& sfondo, bool grassetto) {
    pulsante.setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; border: 1px solid #808080;%2 }"
                       "QPushButton:focus { border: 2px solid #000040; }")
            .arg(sfondo.name(), grassetto ? QStringLiteral(" font-weight: bold;") : QString()));
}
