#pragma once

// The client search: up to seven criteria make one query, whose clients stream into a grid
// while the operator already looks at the first screen. The client picked in it is read as
// it is now, not as the search found it, and handed back as the result.

#include "data/RicercaClienti.h"
#include "ui/Modulo.h"

#include <array>
#include <cstdint>
#include <memory>

class CasellaTesto;
class Griglia;
class QLabel;
class QPushButton;
class QTimer;

class ChkCliC : public Modulo {
    Q_OBJECT

  public:
    explicit ChkCliC(Global& g, QWidget* parent = nullptr);
    ~ChkCliC() override;

    // The criteria boxes, as Btxt numbers them.
    static constexpr int kPartitaIva = 1, kCodiceFiscale = 2, kRagioneSociale = 3, kCap = 4,
                         kProvincia = 5, kNazione = 6, kTelefono = 7;
    // What a box takes: capitals, or digits only.
    static constexpr std::uint8_t kMaiuscole = 0, kCifre = 1;

    CasellaTesto* Btxt(int i) const { return btxt_[size_t(i)]; }
    QLabel* Label1(int i) const { return label1_[size_t(i)]; }
    QPushButton* CmdR(int i) const { return cmdR_[size_t(i)]; }  // USCITA, RICERCA, ESEGUI
    QPushButton* cmdExcel = nullptr;
    Griglia* GridRic = nullptr;

    void ImpostaFiltri();
    void PreparaRicerca();
    // Shows the first screen of clients at once; the rest arrive while the operator
    // looks at it.
    void EseguiRicerca();
    // Puts into the grid every client of the last search not yet shown.
    void CompletaRicerca();
    bool RicercaInCorso() const { return lettura_.Aperto(); }
    void CercaProvincia();
    void CampoPrecedente();
    void CampoSuccessivo();
    // The query of the criteria as they stand and the sort state.
    QString TestoRicerca() const;
    // The query the grid shows.
    const QString& UltimaRicerca() const { return ultimaRicerca_; }
    // Queries sent since the form opened: a heading click sorts a whole result that nothing
    // saved since has changed without one.
    int Ricerche() const { return ricerche_; }
    // The code of the client picked, read into the client record; 0 for none (also when it
    // was deleted meanwhile or could not be read).
    std::int32_t Scelto() const { return scelto_; }

    std::int16_t CampoCorrente = kPartitaIva;
    std::array<std::uint8_t, 8> FiltroTasti{};
    bool InGriglia = false;
    bool InComando = false;
    bool InCaricamento = false;
    std::uint8_t ColonnaOrdine = 0;
    std::int16_t VersoOrdine = 1;

  protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Resize() override;
    void Form_KeyDown(int& codice, int shift) override;
    void Form_KeyPress(int& carattere) override;
    void Form_Unload() override;
    // The shared keys work in the criteria, never in the grid.
    bool TastiComuniAttivi() const override { return !InGriglia; }

  private:
    void Btxt_GotFocus(int i);
    void Btxt_Change(int i);
    void CmdR_Click(int i);
    void GridRic_GotFocus();
    void GridRic_MouseDown(int pulsante, int x, int y);
    // Reads the client of the grid's current row and closes the form; nothing on a row
    // without a client.
    void ScegliCliente();
    // Appends up to `massimo` rows of the open search, for at most `ms` milliseconds (0 no
    // limit); closes the search when its rows run out or it fails, and gives the failure,
    // for Avvisa once the grid paints again.
    Guasto LeggiRighe(int massimo, int ms);
    // Tells the operator why the list may be short: what could be read stays.
    void Avvisa(const Guasto& guasto);
    void FermaLettura();
    // Sorts the grid by the sort state as the query would, when the grid holds the whole
    // result of the criteria as they stand and the database has not changed since; false
    // when the query must run again.
    bool Riordina();

    std::array<CasellaTesto*, 8> btxt_{};
    std::array<QLabel*, 8> label1_{};
    std::array<QPushButton*, 3> cmdR_{};
    // The search being read into the grid.
    CursoreRicerca lettura_;
    QTimer* seguito_ = nullptr;
    QString ultimaRicerca_;
    int ricerche_ = 0;
    std::int32_t scelto_ = 0;
};
