#pragma once

// The form model every window of the program derives from, so that the forms' event order
// and measures hold the same on every platform Qt runs on.

#include <QEventLoop>
#include <QPointer>
#include <QWidget>

#include <deque>
#include <functional>
#include <map>
#include <vector>

class Global;
class QAbstractButton;

// What every form stands on: the form sees each key before its controls (numbered as the
// forms number keys, shared function keys first), the controls' focus events run once the
// focus change is complete, a mouse press arrives before the click, Activate runs each time
// the form comes back to the front, and Load / Show modal / Unload keep their order.
//
// A form derives from Modulo, creates its controls, registers each one with Su() and
// writes only its own handlers.
class Modulo : public QWidget {
    Q_OBJECT

  public:
    explicit Modulo(Global& g, QWidget* parent = nullptr);
    ~Modulo() override;

    // Runs the load handler once; the form is not shown. False when the form unloaded itself
    // while loading (it must not be shown). A form lives once: to show it again after its
    // unload, make a new one.
    bool Carica();
    // Shows the form modally and returns once it has been unloaded.
    void MostraModale();
    // Runs the unload handler once and hides the form; a second call does nothing.
    void Scarica();
    bool Scaricato() const { return scaricato_; }

    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString& testo) { setWindowTitle(testo); }
    QString Name() const { return objectName(); }
    // In twips, as the forms measure; the outer frame where the window system has one (for
    // a window not shown yet, the frame it is going to get).
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void Move(int left, int top, int width, int height);
    void Move(int left, int top);
    // Centres the form's outer frame on the screen without changing its size or state.
    void CentraFinestra();
    // 0 normal, 1 minimised, 2 maximised.
    int WindowState() const;
    void SetWindowState(int stato);
    // 0 none, 1 fixed single, 2 sizable, 3 fixed dialog.
    int BorderStyle() const { return bordo_; }
    void SetBorderStyle(int stile);

    struct Controllo {
        QWidget* widget;
        QString nome;  // "Txt(3)" for arrays
        QString tipo;  // "TextBox", "CommandButton", "ListBox", "Label", "ComboBox", ...
    };
    std::vector<Controllo> Controls() const;

  protected:
    // The handlers a control can have; unset ones do nothing.
    struct Eventi {
        std::function<void()> GotFocus, LostFocus, Change, Click, DblClick, MouseDown;
        // A button that acts on what the fields hold: pressed by its access key while the
        // field being left fails its check, it does not act, since the operator has just
        // been told what to correct.
        bool SoloSeCampiValidi = false;
    };
    // Registers a control under its name (and index, for arrays) and returns its handlers.
    Eventi& Su(QWidget* controllo, const QString& nome, int indice = -1);

    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    virtual void Form_Resize() {}
    // codice and carattere may be changed; 0 swallows the key.
    virtual void Form_KeyDown(int& codice, int shift) {
        (void)codice;
        (void)shift;
    }
    virtual void Form_KeyPress(int& carattere) { (void)carattere; }
    virtual void Form_Unload() {}
    // Whether the shared function keys apply to the key now arriving (a form may keep them
    // to some of its controls).
    virtual bool TastiComuniAttivi() const { return true; }
    // An access key is about to move the focus to its button and press it.
    virtual void TastoRapido(QAbstractButton* pulsante) { (void)pulsante; }
    // A field failed its check and the operator was told.
    void CampoErrato() { ++erroriCampo_; }
    // While a leave handler runs: the control the focus went to (null if none of this
    // form's), for a form that takes a move to some controls as no leaving.
    QWidget* FuocoVerso() const { return verso_; }

    bool eventFilter(QObject* o, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

    Global& g_;

  private:
    enum class Passo { Entra, Esce, Premi };
    bool FiltraTasto(QWidget* w, QKeyEvent* e);
    void AccodaFocus(Passo passo, QWidget* w);
    // The focus moved inside the window while it was not the active one.
    void FuocoSpostato(QObject* oggetto);
    void ElaboraFocus();
    void InCoda(bool inCoda);
    void ImpostaTastoRapido(QWidget* pulsante);
    void Premi(QWidget* pulsante);
    void Attivato();
    // The frame around the client area: the window's own once shown; before that, the one
    // another shown window of the program has, which the same window manager draws alike.
    QMargins Cornice() const;
    void CorreggiDimensioni();

    std::map<QObject*, Eventi> eventi_;
    std::map<QObject*, QWidget*> viewport_;  // a list's viewport stands for the list
    std::vector<Controllo> controlli_;
    // Enters and leaves in the order they happened, and presses that came while one ran.
    std::deque<std::pair<Passo, QPointer<QWidget>>> codaFocus_;
    QPointer<QWidget> entrato_;  // the control whose enter handler ran last, not yet left
    QPointer<QWidget> verso_;
    bool elaborazioneInCoda_ = false;
    bool inElaborazione_ = false;
    bool inoltro_ = false;  // a key the form rewrote is on its way to the control
    // The button whose access key was pressed last, until it acts; the field errors shown
    // so far, and their count at that key.
    QPointer<QWidget> tastoRapido_;
    bool rapidoInCorso_ = false;
    int erroriCampo_ = 0;
    int erroriAlTasto_ = 0;
    bool seguoFinestra_ = false;
    int bordo_ = 2;
    // The outer size asked for before the window had its own frame, in pixels; made good
    // once the window manager has framed it.
    QSize esterno_;
    QPoint posto_;           // where Move last put the frame
    bool ricentra_ = false;  // centred with no frame known yet
    bool caricato_ = false;
    bool scaricato_ = false;
    QPointer<QWidget> sotto_;  // the window that was active when the form was shown
    QEventLoop* ciclo_ = nullptr;
};
