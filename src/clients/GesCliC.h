#pragma once

// The client form: its fields (Txt), buttons (CmdI) and modes, and the handlers the
// other client files fill in (checks in Controlli.cpp, writes in Salvataggio.cpp).

#include "data/ClientRecord.h"
#include "ui/Modulo.h"

#include <array>
#include <cstdint>

struct Causa;

class CasellaTesto;
class QLabel;
class QPushButton;

// The client form: the program's start-up form and its only main window. One client at a
// time in 18 fields, four buttons under them, driven from the keyboard.
class GesCliC : public Modulo {
    Q_OBJECT

  public:
    explicit GesCliC(Global& g, QWidget* parent = nullptr);
    ~GesCliC() override;

    // Start-up in two steps, this and Carica(); each returns false when the program must
    // end without showing the form.
    bool Form_Initialize(const QString& rigaDiComando, const QString& cartellaProgramma,
                         const QString& cartellaSistema);

    // The fields, Txt(0) to Txt(17), by what they hold.
    enum NumeroCampo : int {
        kCodice = 0,
        kCodiceFiscale = 1,
        kNazione = 2,
        kPartitaIva = 3,
        kRagsoc = 4,
        kRagsocEstesa = 5,
        kIndirizzo = 6,
        kCap = 7,
        kLocalita = 8,
        kProvincia = 9,
        kTelefono = 10,
        kContabile = 11,
        kCategoria = 12,
        kAcronimo = 13,
        kEsenzioneNum = 14,
        kEsenzioneGiorno = 15,
        kEsenzioneMese = 16,
        kEsenzioneAnno = 17,
    };
    CasellaTesto* Txt(int i) const { return txt_[size_t(i)]; }
    QPushButton* CmdI(int i) const { return cmdI_[size_t(i)]; }
    QLabel* Etichetta(const QString& testo) const;

    void ImpostaFiltri();
    void AzzeraMaschera();
    void RiempiMaschera();

    // What the form holds (ModoMaschera): nothing yet, a new client, a stored client, or
    // nothing after a deletion.
    enum Modo : std::uint8_t { kVuota = 0, kInserimento = 1, kVariazione = 2, kCancellato = 3 };
    std::uint8_t ModoMaschera = kVuota;
    std::array<std::uint8_t, 18> FiltroTasti{};
    std::int16_t CampoCorrente = 0;
    bool InCaricamento = false;
    bool SaltaFocus = false;
    std::int32_t StartClientCode = 0;
    bool ChiediElencoLungo = false;
    // Other holders found by the last fiscal-code or VAT check; wide enough for any table.
    int ContaSimili = 0;
    std::int32_t CodiceOmonimo = 0;  // client found by the last homonym search

  protected:
    void Form_Load() override;
    // Runs each time the form comes back to the front from one of its own dialogs.
    void Form_Activate() override;
    void Form_KeyDown(int& codice, int shift) override;
    void Form_KeyPress(int& carattere) override;
    void Form_Unload() override;

  private:
    void CostruisciControlli();

    void CampoPrecedente();
    void CampoSuccessivo();

    // Field events.
    void Txt_GotFocus(int i);
    void Txt_LostFocus(int i);
    void Txt_Change(int i);
    void Txt_DblClick();
    void CmdI_MouseDown();
    void CmdI_Click(int i);

    // What leaving a field does: its check, or the code entry for field 0.
    void ControllaCampo(std::int16_t& indice);
    void MostraErrore();
    void EntrataCodice();
    void AiutoCampo();
    // Lists the other holders of a fiscal code or VAT number; true when there are some,
    // after showing them and putting back the field's earlier value.
    bool MostraSimili(int campo, const QString& chiave, const QString& memorizzato);
    // Puts back or corrects a field on the program's behalf, with no auto-advance: a check
    // that fails returns the focus to the field, and an Enter would leave it again. What a
    // lookup writes is not this: it goes in as if typed.
    void ScriviCampo(int campo, const QString& testo);

    // After a button's action the form itself takes the operator to a field: an entry like
    // any other, so that Ctrl+R and a refused value give back this field's own text.
    void PortaAlCampo(int campo);

    // The buttons' actions.
    void Salva();
    void Elimina();
    // The client on the form was deleted meanwhile by another program: said, and the form
    // emptied.
    void CancellatoDaAltri();
    // Another program stored the client otherwise: the form shows it as it is now, in
    // change mode (or says it is gone).
    void RileggiCliente(std::int32_t codice);
    void Annulla();
    // No code is left for a new client after the highest stored one.
    void CodiciEsauriti();
    void TrasferisciCampi();
    // A write the engine refused: said, the focus on the name.
    void ErroreScrittura(const Causa& causa);

    std::array<CasellaTesto*, 18> txt_{};
    std::array<QPushButton*, 4> cmdI_{};
    bool primaAttivazione_ = true;
    bool codiceAutomatico_ = false;  // the new client's code was taken, not typed
    // A save of the client on the form ended with its outcome unknown: the next is its repeat.
    bool esitoIgnoto_ = false;
    // The client as it was read when it came on the form in change mode: a save that finds
    // it stored otherwise would undo another operator's change.
    ClientRecord letto_;
};
