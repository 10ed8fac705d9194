// Keys synthesised through the window system's own input path, so that a form cannot tell
// them from typed ones; and the key codes and shift states the forms number keys by.

#include "ui/Tasti.h"

#include "ui/Global.h"

#include <qpa/qwindowsysteminterface.h>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>
#include <QWindow>

namespace {

struct Nome {
    const char* nome;
    int codice;
    Qt::Key tasto;
};

constexpr Nome kNomi[] = {
    {"{TAB}", 9, Qt::Key_Tab},      {"{ENTER}", 13, Qt::Key_Return},
    {"{PGUP}", 33, Qt::Key_PageUp}, {"{PGDN}", 34, Qt::Key_PageDown},
    {"{END}", 35, Qt::Key_End},     {"{HOME}", 36, Qt::Key_Home},
    {"{LEFT}", 37, Qt::Key_Left},   {"{UP}", 38, Qt::Key_Up},
    {"{RIGHT}", 39, Qt::Key_Right}, {"{DOWN}", 40, Qt::Key_Down},
};

int TastoQtDi(int codice) {
    switch (codice) {
        case 16:
            return Qt::Key_Shift;
        case 17:
            return Qt::Key_Control;
        case 18:
            return Qt::Key_Alt;
        case 0:
            return Qt::Key_unknown;
        default:
            break;
    }
    for (const Nome& n : kNomi)
        if (n.codice == codice) return n.tasto;
    return codice;  // letters and digits share their codes with Qt
}

Qt::KeyboardModifier ModificatoreQt(int codice) {
    switch (codice) {
        case 16:
            return Qt::ShiftModifier;
        case 17:
            return Qt::ControlModifier;
        case 18:
            return Qt::AltModifier;
        default:
            return Qt::NoModifier;
    }
}

QString TestoDi(int codice, QChar carattere, Qt::KeyboardModifiers m) {
    if (m & (Qt::AltModifier | Qt::ControlModifier)) return QString();
    if (codice == 9) return QStringLiteral("\t");
    if (codice == 13) return QStringLiteral("\r");
    if (carattere.isNull()) return QString();
    return (m & Qt::ShiftModifier) ? carattere.toUpper() : carattere.toLower();
}

}  // namespace

std::vector<EventoTasto> SequenzaTasti(QString& tasti, int& modificatore) {
    int codice = 0;
    QChar carattere;
    if (tasti.startsWith('+')) {
        modificatore = 16;
        tasti.remove(0, 1);
    }
    if (tasti.startsWith('{')) {
        for (const Nome& n : kNomi)
            if (tasti == QLatin1String(n.nome)) codice = n.codice;
    } else if (tasti.startsWith('%')) {
        carattere = tasti.back();
        codice = carattere.toUpper().unicode() & 0xff;
        modificatore = 18;
    } else if (!tasti.isEmpty()) {
        carattere = tasti.front();
        // The key that types the character; whether it needs Shift is not kept.
        codice = carattere.toUpper().unicode() & 0xff;
    }

    std::vector<EventoTasto> eventi;
    Qt::KeyboardModifiers mod;
    if (modificatore > 0) {
        mod = ModificatoreQt(modificatore);
        eventi.push_back({true, modificatore, TastoQtDi(modificatore), mod, QString()});
    }
    const int tasto = TastoQtDi(codice);
    const QString testo = TestoDi(codice, carattere, mod);
    eventi.push_back({true, codice, tasto, mod, testo});
    eventi.push_back({false, codice, tasto, mod, testo});
    if (modificatore > 0)
        eventi.push_back({false, modificatore, TastoQtDi(modificatore), Qt::NoModifier, QString()});
    return eventi;
}

void InviaTasti(QString& tasti, int& modificatore) {
    const auto eventi = SequenzaTasti(tasti, modificatore);
    QWindow* finestra = QGuiApplication::focusWindow();
    // A window just closed may still count as active until the window system says
    // otherwise; its keys would be lost.
    if (finestra && !finestra->isVisible()) finestra = nullptr;
    // When no window is active (no window manager) the keys go where typed keys go: the
    // modal window, else the visible window that holds a focused control.
    if (!finestra && QApplication::activeModalWidget())
        finestra = QApplication::activeModalWidget()->windowHandle();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (!finestra && w->isVisible() && w->focusWidget()) finestra = w->windowHandle();
    if (!finestra) return;
    for (const EventoTasto& e : eventi) {
        const QEvent::Type tipo = e.giu ? QEvent::KeyPress : QEvent::KeyRelease;
        QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
            finestra, tipo, e.tasto, e.modificatori, e.testo);
    }
}

void InviaTasti(const QString& tasti) {
    QString copia = tasti;
    int modificatore = 0;
    InviaTasti(copia, modificatore);
}

void SelezionaTesto(Global& g, QLineEdit& campo) {
    campo.setSelection(0, 100);
    g.TestoIniziale = campo.text().trimmed();
}

void SelezionaTesto(Global& g, QComboBox& campo) {
    if (campo.lineEdit()) campo.lineEdit()->setSelection(0, 100);
    g.TestoIniziale = campo.currentText().trimmed();
}

int CodiceTasto(int k) {
    if ((k >= Qt::Key_0 && k <= Qt::Key_9) || (k >= Qt::Key_A && k <= Qt::Key_Z)) return k;
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return 112 + (k - Qt::Key_F1);
    switch (k) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
            return 18;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        default:
            return 0;
    }
}

int StatoMaiuscole(Qt::KeyboardModifiers m) {
    return ((m & Qt::ShiftModifier) ? kMaiuscolo : 0) |
           ((m & Qt::ControlModifier) ? kControllo : 0) | ((m & Qt::AltModifier) ? kAlt : 0);
}

int CarattereDi(const QKeyEvent& e) {
    const auto m = e.modifiers();
    const int k = e.key();
    // Alt combinations are menu keys, not characters.
    if (m & Qt::AltModifier) return 0;
    // Ctrl+letter types the control character, as Ctrl+R (18) does for the restore key.
    if (m & Qt::ControlModifier) return (k >= Qt::Key_A && k <= Qt::Key_Z) ? k - Qt::Key_A + 1 : 0;
    switch (k) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Delete:
            return 0;
        default:
            break;
    }
    const QString t = e.text();
    if (t.isEmpty()) return 0;
    const QChar c = t.front();
    return (c.unicode() >= 32 && c.unicode() != 127) ? c.unicode() : 0;
}
