// Keys synthesised through the window system's own input path, so that a form cannot tell
// them from typed ones; and the key codes and shift states the forms number keys by.

#include "ui/Tasti.h"

#include "ui/Global.h"

#include <private/qguiapplication_p.h>
#include <qpa/qwindowsysteminterface.h>
#include <qpa/qwindowsysteminterface_p.h>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <map>
#include <set>

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

// Work a form queued that a key typed at its window after it must find done: a field's
// leave handler, the press of the button an access key took. Past a deadline it is no longer
// waited for, until that form has done it.
std::map<const QWidget*, int> lavori;
std::set<const QWidget*> lavoriScaduti;

const QWidget* ModuloDi(const QWindow* w) {
    for (const auto& [modulo, quanti] : lavori)
        if (quanti > 0 && modulo->windowHandle() == w) return modulo;
    return nullptr;
}

// The window system names the window a key was typed at; by the time the key is handled a
// modal window may block that one, or it may be gone, the form may still have a left field's
// handler to run, or a button (an access key's, a message box's letter) may be on its way
// down. Such a key waits, with every key after it, until that work is done and the window
// it now belongs to has the keyboard, and is then handed on as typed there. A wait is
// bounded: a key still waiting after a second (a fifth of one while no window has the
// keyboard) goes to the window most likely to be meant, and those after it at once.
class TastiAlFuoco : public QObject, public QWindowSystemEventHandler {
  public:
    TastiAlFuoco() {
        controllo_.setInterval(10);
        connect(&controllo_, &QTimer::timeout, this, &TastiAlFuoco::Rilascia);
        connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* w) {
            // A key let go in another window is not reported here.
            tenuti_.clear();
            if (w) ultima_ = w;
        });
        qApp->installEventFilter(this);
    }

    bool sendEvent(QWindowSystemInterfacePrivate::WindowSystemEvent* e) override {
        if (e->type == QWindowSystemInterfacePrivate::Key) {
            auto* k = static_cast<QWindowSystemInterfacePrivate::KeyEvent*>(e);
            QWindow* dove = Destinazione(k->window);
            if (!attesa_.empty() || Occupato(dove) || (k->window && !k->window->isVisible()) ||
                (dove != k->window && !Pronta(dove))) {
                attesa_.push_back({k->timestamp, k->keyType, k->key, k->modifiers,
                                   k->nativeScanCode, k->nativeVirtualKey, k->nativeModifiers,
                                   k->unicode, k->repeat, k->repeatCount});
                if (!controllo_.isActive()) {
                    progresso_.start();
                    controllo_.start();
                }
                return true;
            }
            k->window = dove;
            Tenuto(k->keyType, k->key);
        }
        return QWindowSystemEventHandler::sendEvent(e);
    }

    void Riprova() {
        if (!attesa_.empty())
            QMetaObject::invokeMethod(this, &TastiAlFuoco::Rilascia, Qt::QueuedConnection);
    }

  protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Shortcut)
            if (auto* b = qobject_cast<QAbstractButton*>(o)) premuto_ = b;
        return false;
    }

  private:
    struct Tasto {
        ulong tempo;
        QEvent::Type tipo;
        int tasto;
        Qt::KeyboardModifiers modificatori;
        quint32 scansione, virtuale, nativi;
        QString testo;
        bool ripetuto;
        ushort volte;
    };

    // Where a key typed at a window belongs now: the modal window that blocks it; for a
    // window gone, the modal window or the one that has the keyboard.
    static QWindow* Destinazione(QWindow* battuta) {
        if (!battuta) return nullptr;
        QWindow* modale = nullptr;
        if (QGuiApplicationPrivate::instance()->isWindowBlocked(battuta, &modale)) return modale;
        if (battuta->isVisible()) return battuta;
        if (QWindow* m = QGuiApplication::modalWindow(); m && m->isVisible()) return m;
        return QGuiApplication::focusWindow();
    }
    // A window that takes keys: shown and blocked by none.
    static bool Libera(QWindow* w) {
        QWindow* modale = nullptr;
        return w && w->isVisible() &&
               !QGuiApplicationPrivate::instance()->isWindowBlocked(w, &modale);
    }
    // One that takes them now: with the keyboard too.
    static bool Pronta(QWindow* w) { return w == QGuiApplication::focusWindow() && Libera(w); }

    // The keys held down now: a button they hold down is not on its way to a click.
    void Tenuto(QEvent::Type tipo, int tasto) {
        if (tipo == QEvent::KeyPress)
            tenuti_.insert(tasto);
        else
            tenuti_.erase(tasto);
    }
    // Work still to be done before the next key: a form's queued focus handling, or a button
    // shown down that no key or mouse button holds (an access key's or a message box letter's,
    // which presses it a moment later).
    bool Occupato(const QWindow* dove) {
        if (const QWidget* m = ModuloDi(dove); m && !lavoriScaduti.count(m)) return true;
        if (premuto_ && !premuto_->isDown()) premuto_ = nullptr;
        if (premuto_) return true;
        if (!dove || !tenuti_.empty() || QGuiApplication::mouseButtons() != Qt::NoButton)
            return false;
        const QWidget* finestra = nullptr;
        for (const QWidget* w : QApplication::topLevelWidgets())
            if (w->windowHandle() == dove) finestra = w;
        if (!finestra) return false;
        const auto pulsanti = finestra->findChildren<QAbstractButton*>();
        return std::any_of(pulsanti.begin(), pulsanti.end(),
                           [](const QAbstractButton* b) { return b->isDown(); });
    }

    // To the window that has the keyboard, once it is where they belong. One at a time, as
    // typed: a key that opens a window or presses a button leaves the rest waiting for it.
    // Past the deadline: the window with the keyboard, else the modal one, else the last
    // that had the keyboard, else the first still shown.
    void Rilascia() {
        while (!attesa_.empty()) {
            QWindow* dove = QGuiApplication::focusWindow();
            // With no window at all to take them (a dialog gone, no window manager to hand
            // the keyboard back) they wait less.
            const bool scaduto = progresso_.elapsed() >= (dove ? 1000 : 200);
            if (!scaduto && (Occupato(dove) || !Pronta(dove))) return;
            if (scaduto)
                if (const QWidget* m = ModuloDi(dove)) lavoriScaduti.insert(m);
            if (!Libera(dove)) dove = QGuiApplication::modalWindow();
            if (!Libera(dove)) dove = ultima_;
            if (!Libera(dove)) {
                dove = nullptr;
                for (QWindow* w : QGuiApplication::topLevelWindows())
                    if (Libera(w) && w->type() != Qt::Popup && w->type() != Qt::ToolTip) {
                        dove = w;
                        break;
                    }
            }
            const Tasto t = attesa_.front();
            attesa_.erase(attesa_.begin());
            // Past the deadline the rest follow at once, where this one went.
            if (!scaduto) progresso_.start();
            if (!dove) continue;
            Tenuto(t.tipo, t.tasto);
            // As the window system hands a typed key on: access keys first, then the key.
            if (t.tipo == QEvent::KeyPress &&
                QWindowSystemInterface::handleShortcutEvent(dove, t.tempo, t.tasto, t.modificatori,
                                                            t.scansione, t.virtuale, t.nativi,
                                                            t.testo, t.ripetuto, t.volte))
                continue;
            QWindowSystemInterfacePrivate::KeyEvent e(dove, t.tempo, t.tipo, t.tasto,
                                                      t.modificatori, t.scansione, t.virtuale,
                                                      t.nativi, t.testo, t.ripetuto, t.volte);
            QGuiApplicationPrivate::processWindowSystemEvent(&e);
        }
        controllo_.stop();
    }

    std::vector<Tasto> attesa_;
    QTimer controllo_;
    QElapsedTimer progresso_;
    QPointer<QAbstractButton> premuto_;
    QPointer<QWindow> ultima_;
    std::set<int> tenuti_;
};

TastiAlFuoco* gestore = nullptr;

}  // namespace

void TastiAllaFinestraAttiva() {
    if (gestore) return;
    gestore = new TastiAlFuoco;
    QWindowSystemInterfacePrivate::installWindowSystemEventHandler(gestore);
}

void LavoroInSospeso(const QWidget* modulo, bool inizio) {
    int& quanti = lavori[modulo];
    quanti += inizio ? 1 : -1;
    if (inizio || quanti > 0) return;
    lavori.erase(modulo);
    lavoriScaduti.erase(modulo);
    if (gestore) gestore->Riprova();
}

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
