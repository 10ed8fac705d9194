#pragma once

// The table of Italian localities, kept by the operator: a locality is found by the
// beginning of its name or by paging, then inserted, changed or deleted, never over another
// program's change unasked. Opened from the client form, it hands back the locality
// confirmed there.

#include "data/Localita.h"
#include "ui/Modulo.h"

#include <array>
#include <cstdint>
#include <optional>

class CasellaTesto;

class QComboBox;
class QLabel;
class QPushButton;

// A locality confirmed for the client form; all empty for none.
struct LocalitaScelta {
    QString Cap;
    QString Localita;
    QString Provincia;
};

class AggLocalita : public Modulo {
    Q_OBJECT

  public:
    explicit AggLocalita(Global& g, QWidget* parent = nullptr);
    ~AggLocalita() override;

    // Shows the form modally, starting from the CAP or the locality, and returns once it has
    // closed. Either given, the form serves the client form: CONFERMA closes it and returns
    // what it saved; USCITA returns nothing. Both empty open it on its own, returning nothing.
    static LocalitaScelta Apri(Global& g, const QString& cap, const QString& localita,
                               QWidget* parent = nullptr);

    CasellaTesto* Cod1 = nullptr;
    QComboBox* Combo1 = nullptr;
    CasellaTesto* Btxt(int i) const { return btxt_[size_t(i)]; }  // 1 CAP, 2 province, 3 prefix
    QPushButton* Cmdv(int i) const {
        return cmdv_[size_t(i)];
    }                                                                  // USCITA, CONFERMA, ELIMINA,
                                                                       // ANNULLA
    QPushButton* Muoviti(int i) const { return muoviti_[size_t(i)]; }  // next, previous
    QLabel* Lcod = nullptr;
    QLabel* Ldesc(int i) const { return ldesc_[size_t(i)]; }  // 0, 1, 2, 4
    QLabel* DesProv = nullptr;

    bool LocalitaAperta = false;
    std::int16_t CampoCorrente = -1;
    bool InComando = false;
    bool InScorrimento = false;
    bool DaAnagrafica = false;
    std::array<QString, 20> Regioni;

    QString ConvertiRegione(int modo, const QString& testo) const;

  protected:
    void Form_Load() override;
    void Form_KeyDown(int& codice, int shift) override;
    void Form_KeyPress(int& carattere) override;
    void Form_Unload() override;
    void TastoRapido(QAbstractButton* pulsante) override;

  private:
    void ApriLocalita();
    void PulisciCampi();
    void ControllaCampo(std::int16_t indice);
    void MostraErrore();
    void CercaProvincia();
    void CampoPrecedente();
    void CampoSuccessivo();

    void Cod1_GotFocus();
    void Cod1_LostFocus();
    void Combo1_GotFocus();
    void Btxt_GotFocus(int i);
    void Btxt_LostFocus(int i);
    void Cmdv_Click(int i);
    void Muoviti_Click(int i);

    void Conferma();
    void Elimina();
    void Annulla(bool svuotaLocalita);
    // A read or a write the engine refused, told to the operator.
    void ErroreLettura(const Causa& causa);
    void ErroreScrittura(const Causa& causa);
    void Modo(const QString& caption, bool elimina);

    std::array<CasellaTesto*, 4> btxt_{};
    std::array<QPushButton*, 4> cmdv_{};
    std::array<QPushButton*, 2> muoviti_{};
    std::array<QLabel*, 5> ldesc_{};
    TabellaLocalita tabella_;
    // The row shown for a change, as it was read: a save that finds it stored otherwise
    // would undo another operator's change. Empty while no stored row is shown.
    std::optional<RigaLocalita> letta_;
    // The boxes still name the row read.
    bool ChiaveLetta() const;
    void MostraLocalita(const RigaLocalita& riga);
    // The locality shown was deleted meanwhile by another program: said, and the form emptied.
    void CancellataDaAltri();
    // The CAP and the locality the form was opened with, then the locality last sought:
    // what an emptied form offers again.
    QString capCercato_;
    QString localitaCercata_;
    LocalitaScelta scelta_;
    bool confermato_ = false;
};
