#pragma once

// The text box of every form's fields, so that a length limit keeps the operator within the
// column while a longer value already stored is never cut by being shown.

#include <QLineEdit>

// A text box whose maximum length binds what the operator types, pastes or drops, and
// never what the program writes: a longer stored value is shown whole and stays as it is
// until the operator changes it; the operator can shorten it but never make it grow.
class CasellaTesto : public QLineEdit {
    Q_OBJECT

  public:
    explicit CasellaTesto(QWidget* parent = nullptr);

    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n) { maxLength_ = n; }

    // Whether the edit under validation comes from the operator; and the text before it.
    bool DallOperatore() const { return operatore_ > 0; }
    const QString& TestoPrecedente() const { return precedente_; }

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;  // the X11 selection paste
    void dropEvent(QDropEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;  // its Paste and Delete

  private:
    // Marks everything the base class does inside `f` as the operator's edit.
    template <class F>
    void DaOperatore(F&& f) {
        ++operatore_;
        f();
        --operatore_;
    }

    int maxLength_ = 32767;
    int operatore_ = 0;
    QString precedente_;
};
