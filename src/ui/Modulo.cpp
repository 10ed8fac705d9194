// The form model on Qt widgets: one event filter turns Qt's events into the forms' handlers
// in the forms' order (keys to the form first, focus events once the change is complete,
// window-caused focus moves not taken for the operator's), and sizes into twips.

#include "ui/Modulo.h"

#include "app/Toolkit.h"
#include "ui/Tasti.h"
#include "ui/TastiComuni.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMoveEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScopeGuard>
#include <QShowEvent>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace {

QString TipoDi(const QWidget* w) {
    if (qobject_cast<const QLineEdit*>(w)) return QStringLiteral("TextBox");
    if (qobject_cast<const QPushButton*>(w)) return QStringLiteral("CommandButton");
    if (qobject_cast<const QListWidget*>(w)) return QStringLiteral("ListBox");
    if (qobject_cast<const QComboBox*>(w)) return QStringLiteral("ComboBox");
    if (qobject_cast<const QLabel*>(w)) return QStringLiteral("Label");
    if (w->inherits("Griglia")) return QStringLiteral("MSFlexGrid");
    if (qobject_cast<const QAbstractItemView*>(w)) return QStringLiteral("Grid");
    return QStringLiteral("Frame");
}

// The frame the window system draws around a window's client area.
QMargins MarginiCornice(const QWidget& w) {
    const QRect fuori = w.frameGeometry(), dentro = w.geometry();
    return QMargins(dentro.left() - fuori.left(), dentro.top() - fuori.top(),
                    fuori.right() - dentro.right(), fuori.bottom() - dentro.bottom());
}

}  // namespace

Modulo::Modulo(Global& g, QWidget* parent) : QWidget(parent, Qt::Window), g_(g) {}

Modulo::~Modulo() {
    InCoda(false);
    ImpostaTastoRapido(nullptr);
    // The window goes after this part of the form, and reports its focus as it goes.
    if (seguoFinestra_ && windowHandle()) disconnect(windowHandle(), nullptr, this, nullptr);
}

bool Modulo::Carica() {
    if (!caricato_) {
        caricato_ = true;
        Form_Load();
    }
    return !scaricato_;
}

void Modulo::MostraModale() {
    if (!Carica()) return;
    // The owner gets the keyboard back; a window just closed may have left none active.
    sotto_ = parentWidget() ? parentWidget()->window() : QApplication::activeWindow();
    setWindowModality(Qt::ApplicationModal);
    show();
    QEventLoop ciclo;
    ciclo_ = &ciclo;
    if (!scaricato_) ciclo.exec();
    ciclo_ = nullptr;
    // Without a window manager nobody gives the keyboard back to the window underneath.
    if (sotto_ && sotto_->isVisible()) {
        sotto_->activateWindow();
        if (auto* m = qobject_cast<Modulo*>(sotto_.data()))
            QMetaObject::invokeMethod(m, &Modulo::Attivato, Qt::QueuedConnection);
    }
}

void Modulo::Scarica() {
    if (scaricato_) return;
    scaricato_ = true;
    codaFocus_.clear();
    Form_Unload();
    hide();
    // Keys typed after the access key that closed it go where the keyboard goes now.
    ImpostaTastoRapido(nullptr);
    if (ciclo_) ciclo_->quit();
}

void Modulo::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Restoring a minimised window is not a new show.
    if (e->spontaneous()) return;
    Carica();
    if (!seguoFinestra_ && windowHandle()) {
        seguoFinestra_ = true;
        connect(windowHandle(), &QWindow::focusObjectChanged, this, &Modulo::FuocoSpostato);
    }
    QMetaObject::invokeMethod(this, &Modulo::Attivato, Qt::QueuedConnection);
}

void Modulo::Attivato() {
    if (!scaricato_ && isVisible()) Form_Activate();
}

void Modulo::closeEvent(QCloseEvent* e) {
    Scarica();
    e->accept();
}

void Modulo::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    CorreggiDimensioni();
    Form_Resize();
}

int Modulo::Left() const {
    return toolkit::TwipDaPixelX(frameGeometry().x() - toolkit::OrigineSchermo().x());
}
int Modulo::Top() const {
    return toolkit::TwipDaPixelY(frameGeometry().y() - toolkit::OrigineSchermo().y());
}
int Modulo::Width() const {
    const QMargins c = Cornice();
    return toolkit::TwipDaPixelX(geometry().width() + c.left() + c.right());
}
int Modulo::Height() const {
    const QMargins c = Cornice();
    return toolkit::TwipDaPixelY(geometry().height() + c.top() + c.bottom());
}

QMargins Modulo::Cornice() const {
    if (isVisible()) return MarginiCornice(*this);
    if (windowFlags() & Qt::FramelessWindowHint) return {};
    // A sizable window has a thicker frame than a fixed one: the same border style first.
    QMargins simile;
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this || !w->isVisible() || w->isMinimized() ||
            (w->windowFlags() & Qt::FramelessWindowHint) || MarginiCornice(*w).isNull())
            continue;
        auto* m = qobject_cast<const Modulo*>(w);
        if (m && m->bordo_ == bordo_) return MarginiCornice(*w);
        if (simile.isNull()) simile = MarginiCornice(*w);
    }
    return simile;
}

void Modulo::Move(int left, int top, int width, int height) {
    // Width and height are the outer frame's: the client area is what the frame leaves.
    // Before the window is framed its frame is not known yet: applied as the inner size,
    // the saved outer size would grow by the frame at every opening.
    const QSize fuori(toolkit::PixelDaTwipX(width), toolkit::PixelDaTwipY(height));
    esterno_ = isVisible() ? QSize() : fuori;
    const QMargins c = Cornice();
    Move(left, top);
    resize(std::max(1, fuori.width() - c.left() - c.right()),
           std::max(1, fuori.height() - c.top() - c.bottom()));
}

void Modulo::Move(int left, int top) {
    posto_ =
        toolkit::OrigineSchermo() + QPoint(toolkit::PixelDaTwipX(left), toolkit::PixelDaTwipY(top));
    move(posto_);
}

void Modulo::CentraFinestra() {
    const toolkit::Schermo s = toolkit::SchermoPrincipale();
    // Top first, then left, as the forms have always done; only the position changes.
    Move((s.Width - Width()) / 2, (s.Height - Height()) / 2);
    ricentra_ = !isVisible() && Cornice().isNull() && !(windowFlags() & Qt::FramelessWindowHint);
}

void Modulo::CorreggiDimensioni() {
    if (!isVisible()) return;
    const QMargins c = MarginiCornice(*this);
    if (c.isNull()) return;  // not framed yet, or never: nothing to make good
    if (!esterno_.isEmpty()) {
        const QSize fuori = std::exchange(esterno_, QSize());
        if (WindowState() == 0 && frameGeometry().size() != fuori) {
            resize(std::max(1, fuori.width() - c.left() - c.right()),
                   std::max(1, fuori.height() - c.top() - c.bottom()));
            // A window manager may have moved the frame it found too big back inside the
            // screen: the right size goes back to the place asked for.
            if (pos() != posto_) move(posto_);
        }
    }
    // Centred before any window had a frame to measure: centred again with its own.
    if (std::exchange(ricentra_, false) && WindowState() == 0) CentraFinestra();
}

void Modulo::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    CorreggiDimensioni();
}

int Modulo::WindowState() const {
    if (isMinimized()) return 1;
    if (isMaximized()) return 2;
    return 0;
}

void Modulo::SetWindowState(int stato) {
    setWindowState(stato == 1   ? Qt::WindowMinimized
                   : stato == 2 ? Qt::WindowMaximized
                                : Qt::WindowNoState);
}

void Modulo::SetBorderStyle(int stile) {
    bordo_ = stile;
    setWindowFlag(Qt::FramelessWindowHint, stile == 0);
}

std::vector<Modulo::Controllo> Modulo::Controls() const {
    return controlli_;
}

Modulo::Eventi& Modulo::Su(QWidget* controllo, const QString& nome, int indice) {
    const QString completo = indice < 0 ? nome : QStringLiteral("%1(%2)").arg(nome).arg(indice);
    controllo->setObjectName(completo);
    controlli_.push_back({controllo, completo, TipoDi(controllo)});
    controllo->installEventFilter(this);
    Eventi& ev = eventi_[controllo];
    if (auto* l = qobject_cast<QAbstractItemView*>(controllo)) {
        // Presses and double-clicks land on the list's or the grid's viewport.
        l->viewport()->installEventFilter(this);
        viewport_[l->viewport()] = l;
    }
    if (auto* b = qobject_cast<QAbstractButton*>(controllo))
        connect(b, &QAbstractButton::clicked, this, [this, controllo] {
            // The control being left runs its leave handler before the button acts, even
            // when the release comes before the focus change was handled, or while that
            // handler waits for the operator in a window of its own (an access key presses
            // its button a moment after taking the focus to it).
            if (inElaborazione_) {
                codaFocus_.emplace_back(Passo::Premi, controllo);
                return;
            }
            if (!codaFocus_.empty()) ElaboraFocus();
            Premi(controllo);
        });
    if (auto* t = qobject_cast<QLineEdit*>(controllo))
        connect(t, &QLineEdit::textChanged, this, [this, controllo] {
            if (auto& f = eventi_[controllo].Change) f();
        });
    return ev;
}

bool Modulo::eventFilter(QObject* o, QEvent* e) {
    if (scaricato_) return QWidget::eventFilter(o, e);
    if (auto v = viewport_.find(o); v != viewport_.end()) o = v->second;
    auto trovato = eventi_.find(o);
    if (trovato == eventi_.end()) return QWidget::eventFilter(o, e);
    auto* w = static_cast<QWidget*>(o);
    switch (e->type()) {
        case QEvent::KeyPress:
            if (!inoltro_) return FiltraTasto(w, static_cast<QKeyEvent*>(e));
            break;
        case QEvent::FocusIn:
        case QEvent::FocusOut: {
            const Qt::FocusReason motivo = static_cast<QFocusEvent*>(e)->reason();
            if (motivo == Qt::PopupFocusReason) break;
            // A window opening or closing moves the focus away and back: not the operator
            // leaving the control. Coming back to a control not yet entered does enter it.
            if (motivo == Qt::ActiveWindowFocusReason &&
                (e->type() == QEvent::FocusOut || entrato_ == w))
                break;
            AccodaFocus(e->type() == QEvent::FocusIn ? Passo::Entra : Passo::Esce, w);
            break;
        }
        case QEvent::MouseButtonPress:
            if (tastoRapido_ == w) ImpostaTastoRapido(nullptr);
            if (auto& f = trovato->second.MouseDown) f();
            break;
        case QEvent::MouseButtonDblClick:
            if (auto& f = trovato->second.DblClick) f();
            break;
        case QEvent::Shortcut:
            // An access key takes the focus to its button before pressing it, so the
            // control being left runs its leave handler first.
            if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                TastoRapido(b);
                ImpostaTastoRapido(b);
                erroriAlTasto_ = erroriCampo_;
                b->setFocus(Qt::ShortcutFocusReason);
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(o, e);
}

bool Modulo::FiltraTasto(QWidget* w, QKeyEvent* e) {
    // Tab belongs to the focus chain; the form never sees it.
    if (e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab) return false;
    // Enter presses the button that has the focus, as in the classic forms: the form's own
    // Enter walks its boxes, and would take the operator past the button instead. Held
    // down, it presses once.
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            if (!e->isAutoRepeat()) b->click();
            return true;
        }
    }
    int codice = CodiceTasto(e->key());
    if (codice != 0) {
        if (TastiComuniAttivi())
            codice = TastiComuni(g_, codice, StatoMaiuscole(e->modifiers()), *this);
        if (codice != 0) Form_KeyDown(codice, StatoMaiuscole(e->modifiers()));
        if (codice == 0 || scaricato_) return true;
    }
    int carattere = CarattereDi(*e);
    if (carattere == 0) return false;
    const int originale = carattere;
    Form_KeyPress(carattere);
    if (scaricato_) return true;
    // A focused button takes Space as buttons do: the form's filters are about the text of
    // its boxes, and the box entered last may well take digits only.
    if (e->key() == Qt::Key_Space && qobject_cast<QAbstractButton*>(w)) return false;
    if (carattere == 0) return true;
    if (carattere == originale) return false;
    // The form changed the character: the control receives the new one instead.
    QKeyEvent nuovo(e->type(), e->key(), e->modifiers(), QString(QChar(carattere)),
                    e->isAutoRepeat(), ushort(e->count()));
    inoltro_ = true;
    QCoreApplication::sendEvent(w, &nuovo);
    inoltro_ = false;
    return true;
}

void Modulo::AccodaFocus(Passo passo, QWidget* w) {
    codaFocus_.emplace_back(passo, w);
    if (elaborazioneInCoda_) return;
    InCoda(true);
    QMetaObject::invokeMethod(this, &Modulo::ElaboraFocus, Qt::QueuedConnection);
}

void Modulo::ImpostaTastoRapido(QWidget* pulsante) {
    // Keys typed after an access key wait for its press (the button may go meanwhile).
    tastoRapido_ = pulsante;
    const bool ora = pulsante != nullptr;
    if (std::exchange(rapidoInCorso_, ora) != ora) LavoroInSospeso(this, ora);
}

void Modulo::InCoda(bool inCoda) {
    if (std::exchange(elaborazioneInCoda_, inCoda) != inCoda) LavoroInSospeso(this, inCoda);
}

void Modulo::FuocoSpostato(QObject* oggetto) {
    // An active window reports its focus moves itself. One that is not active yet (a dialog
    // has just closed and the window system has not given the keyboard back) moves the focus
    // without a word, and its activation later enters the new control only: what a key
    // arriving meanwhile did must leave the control and enter the next all the same.
    if (scaricato_ || isActiveWindow()) return;
    auto* w = qobject_cast<QWidget*>(oggetto);
    if (!w || !eventi_.count(w) || w == entrato_) return;
    AccodaFocus(Passo::Entra, w);
}

void Modulo::Premi(QWidget* pulsante) {
    const bool daTasto = std::exchange(tastoRapido_, nullptr) == pulsante;
    // Keys typed after the access key wait until its button has acted.
    const auto fatto = qScopeGuard([this] { ImpostaTastoRapido(nullptr); });
    Eventi& ev = eventi_[pulsante];
    if (daTasto && ev.SoloSeCampiValidi && erroriCampo_ != erroriAlTasto_) return;
    if (ev.Click) ev.Click();
}

void Modulo::ElaboraFocus() {
    InCoda(false);
    // A dialog opened by a handler runs its own event loop: what queues up meanwhile waits
    // for the outer pass, so one handler is never interrupted by another control's events.
    if (inElaborazione_) return;
    inElaborazione_ = true;
    while (!codaFocus_.empty() && !scaricato_) {
        const auto [passo, w] = codaFocus_.front();
        codaFocus_.pop_front();
        if (!w) continue;
        if (passo == Passo::Entra) {
            // Stale when the focus has moved on again since, or entered already (the
            // focus came back from a window that opened meanwhile).
            if (focusWidget() != w || entrato_ == w) continue;
            // The control entered before lost the focus with no event to say so.
            if (QWidget* lasciato = std::exchange(entrato_, nullptr)) {
                verso_ = w;
                if (auto& f = eventi_[lasciato].LostFocus) f();
                verso_ = nullptr;
                // Its leave logic may have taken the focus back.
                if (focusWidget() != w) continue;
            }
            entrato_ = w;
            if (auto& f = eventi_[w].GotFocus) f();
        } else if (passo == Passo::Esce) {
            if (entrato_ != w) continue;
            entrato_ = nullptr;
            // Where the focus went: the next control entered, else the one that has it.
            verso_ = focusWidget() != w ? focusWidget() : nullptr;
            for (const auto& [dopo, controllo] : codaFocus_)
                if (dopo == Passo::Entra && controllo) {
                    verso_ = controllo;
                    break;
                }
            if (auto& f = eventi_[w].LostFocus) f();
            verso_ = nullptr;
        } else if (w->isVisible() && w->isEnabled()) {
            Premi(w);
        } else if (tastoRapido_ == w) {
            // A button the handler hid or disabled meanwhile is no longer there to press.
            ImpostaTastoRapido(nullptr);
        }
    }
    inElaborazione_ = false;
    // Steps queued while a nested loop ran wait no longer.
    if (!codaFocus_.empty() && !scaricato_ && !elaborazioneInCoda_) {
        InCoda(true);
        QMetaObject::invokeMethod(this, &Modulo::ElaboraFocus, Qt::QueuedConnection);
    }
}
