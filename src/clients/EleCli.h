#pragma once

#include <QDialog>

class Global;
class QListWidget;
class QPushButton;

// The list of clients that look like the one being entered; the operator picks one or
// leaves. The caller fills Lista1 and runs the dialog with exec().
class EleCli : public QDialog {
    Q_OBJECT

  public:
    explicit EleCli(Global& g, QWidget* parent = nullptr);

    QListWidget* Lista1 = nullptr;
    QPushButton* Cmde[2] = {nullptr, nullptr};  // 0 CONFERMA, 1 USCITA

    void done(int risultato) override;

  protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* oggetto, QEvent* e) override;

  private:
    void Conferma();
    void SelezionaPrima();

    Global& g_;
};
