// The one road of every message box: the Qt box with the classic buttons, icons and default,
// or, when a test has queued answers, the next answer without a window.

#include "app/Messaggi.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace {

std::vector<Risposta> RisposteDi(Pulsanti p) {
    switch (p) {
        case Pulsanti::OK:
            return {Risposta::OK};
        case Pulsanti::OKAnnulla:
            return {Risposta::OK, Risposta::Annulla};
        case Pulsanti::RiprovaAnnulla:
            return {Risposta::Riprova, Risposta::Annulla};
        case Pulsanti::SiNo:
            return {Risposta::Si, Risposta::No};
        case Pulsanti::SiNoAnnulla:
            return {Risposta::Si, Risposta::No, Risposta::Annulla};
    }
    return {Risposta::OK};
}

QMessageBox::StandardButton PulsanteQt(Risposta r) {
    switch (r) {
        case Risposta::OK:
            return QMessageBox::Ok;
        case Risposta::Annulla:
            return QMessageBox::Cancel;
        case Risposta::Riprova:
            return QMessageBox::Retry;
        case Risposta::Si:
            return QMessageBox::Yes;
        case Risposta::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon IconaQt(Icona i) {
    switch (i) {
        case Icona::Nessuna:
            return QMessageBox::NoIcon;
        case Icona::Critica:
            return QMessageBox::Critical;
        case Icona::Domanda:
            return QMessageBox::Question;
        case Icona::Esclamazione:
            return QMessageBox::Warning;
        case Icona::Informazione:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

Risposta ServizioMessaggi::Mostra(const Messaggio& m) {
    mostrati_.push_back(m);
    if (MentreAperto) MentreAperto(m);
    if (!copioneAttivo_) return MostraFinestra(m);
    if (copione_.empty()) return RisposteDi(m.pulsanti).back();
    Risposta r = copione_.front();
    copione_.pop_front();
    return r;
}

Risposta ServizioMessaggi::Mostra(const QString& testo, const QString& titolo, Pulsanti p, Icona i,
                                  int predefinito) {
    return Mostra(Messaggio{testo, titolo, p, i, predefinito});
}

void ServizioMessaggi::Copione(std::initializer_list<Risposta> risposte) {
    copioneAttivo_ = true;
    copione_.insert(copione_.end(), risposte.begin(), risposte.end());
}

QString ServizioMessaggi::TitoloPredefinito() {
    return QStringLiteral("Anagrafica clienti");
}

Risposta ServizioMessaggi::PulsantePredefinito(const Messaggio& m) {
    auto risposte = RisposteDi(m.pulsanti);
    size_t i = m.predefinito >= 0 ? static_cast<size_t>(m.predefinito) : 0;
    return risposte[i < risposte.size() ? i : 0];
}

Risposta ServizioMessaggi::MostraFinestra(const Messaggio& m) {
    QPointer<QWidget> finestra = QApplication::activeWindow();
    // Just after a box closes, its window may not be active again yet: a box that follows
    // (a Retry asked again) belongs over the same one.
    if (!finestra && sotto_ && sotto_->isVisible()) finestra = sotto_;
    sotto_ = finestra;
    QMessageBox box(IconaQt(m.icona), m.titolo.isEmpty() ? TitoloPredefinito() : m.titolo, m.testo,
                    QMessageBox::NoButton, finestra);
    auto risposte = RisposteDi(m.pulsanti);
    for (Risposta r : risposte) box.addButton(PulsanteQt(r));
    box.setDefaultButton(PulsanteQt(PulsantePredefinito(m)));
    // Closing the box with Escape or its close button counts as its last button
    // (Cancel or No), as the classic message boxes do.
    box.setEscapeButton(box.button(PulsanteQt(risposte.back())));
    int scelto = box.exec();
    // Without a window manager nobody gives the keyboard back to the window underneath: ask
    // for it, so the next key reaches the form and its field gets its focus events.
    if (finestra && finestra->isVisible()) finestra->activateWindow();
    for (Risposta r : risposte)
        if (scelto == PulsanteQt(r)) return r;
    return risposte.back();
}
