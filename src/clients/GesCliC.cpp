#include "clients/GesCliC.h"

#include "app/Avvio.h"
#include "app/Toolkit.h"
#include "ui/Global.h"

#include <QCloseEvent>
#include <QCoreApplication>

GesCliC::GesCliC(Global& g, QWidget* parent) : QWidget(parent), g_(g) {
    setObjectName(QStringLiteral("GesCliC"));
    setWindowTitle(QStringLiteral("GESTIONE ANAGRAFICHE - KESTOR"));
}

bool GesCliC::Form_Initialize(const QString& rigaDiComando, const QString& cartellaProgramma,
                              const QString& cartellaSistema) {
    return InizializzaAmbiente(g_, rigaDiComando, cartellaProgramma, cartellaSistema);
}

bool GesCliC::Form_Load() {
    StartClientCode = g_.ClientRecord.CliCodice;
    CentraFinestra(*this);
    if (!CaricaAmbiente(g_)) {
        ChiudiAmbiente(g_);
        return false;
    }
    setWindowTitle(DidascaliaIniziale(g_));
    ModoMaschera = 0;
    InCaricamento = true;
    InCaricamento = false;
    return true;
}

void GesCliC::closeEvent(QCloseEvent* e) {
    Form_Unload();
    e->accept();
}

void GesCliC::Form_Unload() {
    if (scaricato_) return;
    scaricato_ = true;
    ChiudiAmbiente(g_);
    // Closing the client form ends the program, whatever other forms are still up.
    QCoreApplication::quit();
}
