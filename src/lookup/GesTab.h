#pragma once

#include "ui/Modulo.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace motore {
class Database;
class Recordset;
}  // namespace motore

class CasellaTesto;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;

// Finds and picks one row of a code table (TableName) by the beginning of its code or of
// its description. The caller gives a start in SoughtCode or SoughtDescription, shows the
// dialog modally and finds the confirmed row in the same slots ("" when none).
class GesTab : public Modulo {
    Q_OBJECT

  public:
    explicit GesTab(Global& g, QWidget* parent = nullptr);
    ~GesTab() override;

    CasellaTesto* CodTab = nullptr;
    CasellaTesto* DescTab = nullptr;
    QLabel* Lcod = nullptr;
    QLabel* Ldesc = nullptr;
    QListWidget* Lista = nullptr;
    std::array<QPushButton*, 3> cmdRt{};  // CONFERMA, X SELEZIONA, USCITA
    QFrame* Frame1 = nullptr;

    bool TabAperta = false;
    bool ElencoAperto = false;
    bool InLista = false;
    bool InCaricamento = false;
    bool InUscita = false;
    QString Elemento;

    void ApriTabelle();
    void ApriTabSql();
    void LeggiTabelle(QString& elemento);

  protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_KeyDown(int& codice, int shift) override;
    void Form_KeyPress(int& carattere) override;
    void Form_Unload() override;

  private:
    void CaricaLista(QString& testo, std::uint8_t modo);
    void LeggiSelezione();
    void Casella_GotFocus(std::uint8_t modo);
    void Casella_Change(std::uint8_t modo);
    void Casella_LostFocus(std::uint8_t modo);
    void AggiornaElenco(std::uint8_t modo);
    void Lista_GotFocus();
    void cmdRt_Click(int i);
    CasellaTesto* Casella(std::uint8_t modo) const { return modo == 1 ? CodTab : DescTab; }
    CasellaTesto* CasellaVisibile() const;
    void Disponi();

    std::unique_ptr<motore::Recordset> tabella_;
    std::unique_ptr<motore::Recordset> elenco_;
};
