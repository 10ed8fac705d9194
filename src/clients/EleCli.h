#pragma once

// The dialog of similar clients: a list the operator picks from or leaves.

#include "ui/Modulo.h"

class QListWidget;
class QPushButton;

// The list of clients that look like the one being entered; the operator picks one or
// leaves. The caller fills Lista1 and shows the form modally.
class EleCli : public Modulo {
    Q_OBJECT

  public:
    explicit EleCli(Global& g, QWidget* parent = nullptr);

    QListWidget* Lista1 = nullptr;
    QPushButton* Cmde[2] = {nullptr, nullptr};  // 0 CONFERMA, 1 USCITA
    bool Confermato = false;                    // left by CONFERMA, not by USCITA

  protected:
    void Form_Load() override;
    void Form_KeyDown(int& codice, int shift) override;
    void Form_Unload() override;
    void showEvent(QShowEvent* e) override;

  private:
    void Conferma();
    void SelezionaPrima();
};
