#include "app/Toolkit.h"

#include <QApplication>
#include <QGuiApplication>
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
    return argomenti.join(' ');
}

}  // namespace toolkit

void CentraFinestra(QWidget& form) {
    QScreen* scr = form.screen() ? form.screen() : QGuiApplication::primaryScreen();
    if (!scr) return;
    const QRect schermo = scr->geometry();
    const QRect cornice = form.frameGeometry();
    // Top first, then left, as the forms have always done; only the position changes.
    const int top = schermo.top() + (schermo.height() - cornice.height()) / 2;
    const int left = schermo.left() + (schermo.width() - cornice.width()) / 2;
    form.move(left, top);
}
