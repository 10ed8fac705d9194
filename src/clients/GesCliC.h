#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

namespace motore {
class Errore;
class Recordset;
}  // namespace motore

class CasellaTesto;
class EleCli;
class Global;
class QLabel;
class QPushButton;

// The client form: the program's start-up form and its only main window. One client at a
// time in 18 fields, four buttons under them, driven from the keyboard.
class GesCliC : public QWidget {
    Q_OBJECT

  public:
    explicit GesCliC(Global& g, QWidget* parent = nullptr);
    ~GesCliC() override;

    // Start-up in two steps; each returns false when the program must end without
    // showing the form.
    bool Form_Initialize(const QString& rigaDiComando, const QString& cartellaProgramma,
                         const QString& cartellaSistema);
    bool Form_Load();

    CasellaTesto* Txt(int i) const { return txt_[size_t(i)]; }
    QPushButton* CmdI(int i) const { return cmdI_[size_t(i)]; }
    QLabel* Etichetta(const QString& testo) const;

    void ImpostaFiltri();
    void AzzeraMaschera();
    void RiempiMaschera();
    // Runs each time the form comes back to the front from one of its own dialogs.
    void Form_Activate();

    std::uint8_t ModoMaschera = 0;
    std::array<std::uint8_t, 18> FiltroTasti{};
    std::int16_t CampoCorrente = 0;
    bool InCaricamento = false;
    bool SaltaFocus = false;
    std::int32_t StartClientCode = 0;
    bool ChiediElencoLungo = false;
    std::int16_t ContaSimili = 0;    // other holders found by the last fiscal-code or VAT check
    std::int32_t CodiceOmonimo = 0;  // client found by the last homonym search

  protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

  private:
    void CostruisciControlli();

    // Keyboard: the form sees every key before the focused control.
    void Form_KeyDown(int& codice, int shift);
    void Form_KeyPress(int& carattere);
    bool FiltraTasto(QWidget* w, QKeyEvent* e);
    void CampoPrecedente();
    void CampoSuccessivo();

    // Field events.
    void Txt_GotFocus(int i);
    void Txt_LostFocus(int i);
    void Txt_Change(int i);
    void Txt_DblClick(int i);
    void CmdI_MouseDown(int i);
    void CmdI_Click(int i);

    // What leaving a field does: its check, or the code entry for field 0.
    void ControllaCampo(std::int16_t& indice);
    void MostraErrore();
    void EntrataCodice();
    void AiutoCampo();
    // Lists the other holders of a fiscal code or VAT number; true when there are some,
    // after showing them and putting back the field's earlier value.
    bool MostraSimili(int campo, const QString& chiave, const QString& memorizzato);
    // Writes a field on the program's behalf: never an auto-advance.
    void ScriviCampo(int campo, const QString& testo);
    EleCli& Elenco();

    // The buttons' actions.
    void Salva();
    void Elimina();
    void Annulla();
    void TrasferisciCampi();
    void ScriviCliente(motore::Recordset& t);
    void ErroreScrittura(const motore::Errore& e);
    // Runs a write on the client table inside a transaction; an error rolls it back and is
    // shown to the operator. True when committed.
    bool ScriviInTransazione(const std::function<void(motore::Recordset&)>& scrittura);

    // Focus changes are collected while they happen and handled once the change is
    // complete, so that the leave logic may open a message box and move the focus.
    enum class Passo { Entra, Esce };
    void AccodaFocus(Passo passo, int campo);
    void ElaboraFocus();
    int CampoDi(QObject* o) const;

    void Form_Unload();

    Global& g_;
    std::array<CasellaTesto*, 18> txt_{};
    std::array<QPushButton*, 4> cmdI_{};
    std::deque<std::pair<Passo, int>> codaFocus_;
    bool elaborazioneInCoda_ = false;
    int campoEntrato_ = -1;  // the field whose enter logic ran last and that was not left
    bool primaAttivazione_ = true;
    bool inoltro_ = false;  // a key the form rewrote is on its way to the field
    bool inElaborazione_ = false;
    bool codiceAutomatico_ = false;  // the new client's code was taken, not typed
    // A save pressed by its access key while leaving the field failed its check is not
    // carried out: the operator has just been told what to correct.
    bool tastoRapido_ = false;
    int erroriCampo_ = 0;  // field errors shown so far
    int erroriAlTasto_ = 0;
    std::unique_ptr<EleCli> eleCli_;
    bool scaricato_ = false;
};
