#pragma once

// Every message box of the program goes through one ServizioMessaggi, so that tests can
// queue the operator's answers and read back what was shown.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <deque>
#include <functional>
#include <vector>

enum class Pulsanti { OK, OKAnnulla, RiprovaAnnulla, SiNo, SiNoAnnulla };

enum class Icona { Nessuna, Critica, Domanda, Esclamazione, Informazione };

// Numbered as the classic toolkit numbers them.
enum class Risposta { OK = 1, Annulla = 2, Riprova = 4, Si = 6, No = 7 };

struct Messaggio {
    QString testo;
    QString titolo;  // empty: the application's default title
    Pulsanti pulsanti = Pulsanti::OK;
    Icona icona = Icona::Nessuna;
    int predefinito = 0;  // index of the default button among `pulsanti`
};

class ServizioMessaggi {
  public:
    virtual ~ServizioMessaggi() = default;

    // Shows the message and returns the button pressed. With a script queued, the next
    // scripted answer is taken instead and nothing is shown.
    Risposta Mostra(const Messaggio& m);

    // Shorthand for the common case.
    Risposta Mostra(const QString& testo, const QString& titolo, Pulsanti p = Pulsanti::OK,
                    Icona i = Icona::Nessuna, int predefinito = 0);

    // Test hooks: answers are consumed in order; when the script is on and runs dry the
    // last button (OK, Cancel or No) is pressed, so a missing answer never loops a Retry.
    void Copione(std::initializer_list<Risposta> risposte);
    void CopioneAttivo(bool attivo) { copioneAttivo_ = attivo; }
    // Test runs switch the script on for every service, so no real dialog ever waits.
    static void CopionePerTutti(bool attivo) { copionePredefinito_ = attivo; }
    const std::vector<Messaggio>& Mostrati() const { return mostrati_; }
    // Runs while a message is up, before its answer is given: what another program can do
    // meanwhile.
    std::function<void(const Messaggio&)> MentreAperto;
    void AzzeraMostrati() { mostrati_.clear(); }

    static QString TitoloPredefinito();
    static Risposta PulsantePredefinito(const Messaggio& m);

  protected:
    // The real dialog; tests never reach it while the script is on.
    virtual Risposta MostraFinestra(const Messaggio& m);

  private:
    static inline bool copionePredefinito_ = false;
    bool copioneAttivo_ = copionePredefinito_;
    std::deque<Risposta> copione_;
    std::vector<Messaggio> mostrati_;
    QPointer<QWidget> sotto_;  // the window the last box stood over
};
