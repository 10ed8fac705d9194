#pragma once

// The code-table lookup: the operator finds a row of one table (provinces, nations...) by
// the beginning of its code or of its description, in a list that follows the typing, and
// confirms it. What was confirmed is the dialog's result; leaving confirms nothing.

#include "data/TabCodici.h"
#include "ui/Modulo.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class CasellaTesto;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;

class GesTab : public Modulo {
    Q_OBJECT

  public:
    GesTab(Global& g, const QString& tabella, QWidget* parent = nullptr);
    ~GesTab() override;

    // Shows the lookup of `tabella` modally, starting from `codice`, and returns the row the
    // operator confirmed.
    static VoceTabella Scegli(Global& g, const QString& tabella, const QString& codice,
                              QWidget* parent);

    // Where the search starts, set before loading: a description opens the description box.
    QString CodiceCercato;
    QString DescrizioneCercata;
    // The row confirmed with CONFERMA; empty until then and after USCITA.
    const VoceTabella& Scelta() const { return scelta_; }
    // The row last read from the table: the first line of the list when a box is left.
    const VoceTabella& Letta() const { return letta_; }
    // The query of the list as last run.
    const QString& TestoElenco() const { return testoElenco_; }

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
    void LeggiTabelle(const QString& elemento);

  protected:
    void Form_Load() override;
    void Form_KeyDown(int& codice, int shift) override;
    void Form_KeyPress(int& carattere) override;
    void Form_Unload() override;

  private:
    void CaricaLista(const QString& testo, std::uint8_t modo);
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

    const QString nomeTabella_;
    // Columns of the list: the table's widths, capped so that the dialog fits the screen.
    int larghezzaCodice_ = 0;
    int larghezzaDescrizione_ = 0;
    QString testoElenco_;
    VoceTabella letta_;
    VoceTabella scelta_;
    TabellaCodici tabella_;
};
