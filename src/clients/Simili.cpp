// The client form's lists of similar clients and homonyms: the data layer reads them, this
// asks the operator about a long list and words the warning.

#include "clients/Simili.h"

#include "clients/EleCli.h"
#include "data/Clienti.h"
#include "ui/Global.h"

#include <QListWidget>

namespace {

// A check that could not run is no clean result: the operator hears that it did not, and
// the form goes on as with an empty list.
bool NonLetto(Global& g, const Guasto& guasto) {
    if (guasto) g.MsgBox(QStringLiteral("ERRORE NELLA TABELLA CLIENTI\n") + guasto->Spiegazione());
    return guasto.has_value();
}

}  // namespace

int ElencoSimili(Global& g, EleCli& dialogo, QString& chiave, bool& chiediElencoLungo) {
    ListaSimili elenco;
    const Guasto guasto = LeggiSimili(g, chiave, g.ClientRecord.CliCodice, false, elenco);
    g.QueryText = elenco.query;
    if (NonLetto(g, guasto)) return 0;
    chiediElencoLungo = true;
    if (elenco.oltre &&
        g.MsgBox(QStringLiteral("OLTRE 200 CLIENTI: ESTRAGGO TUTTO?"), Pulsanti::SiNo,
                 Icona::Domanda, QStringLiteral("ELENCO LUNGO")) == Risposta::Si) {
        chiediElencoLungo = false;
        if (NonLetto(g, LeggiSimili(g, chiave, g.ClientRecord.CliCodice, true, elenco))) return 0;
    }
    dialogo.Lista1->clear();
    dialogo.Lista1->addItems(elenco.righe);
    return elenco.altri;
}

std::int32_t CercaOmonimi(Global& g, const QString& ragioneSociale) {
    if (ragioneSociale.trimmed().isEmpty()) return 0;
    std::vector<std::int32_t> codici;
    // A name that cannot be checked must not stop the form from saving it.
    if (NonLetto(g, LeggiOmonimi(g, ragioneSociale, g.ClientRecord.CliCodice, codici, g.QueryText)))
        return 0;
    g.MessageTitle = QStringLiteral("CLIENTE GIA' ESISTENTE!");
    for (const std::int32_t codice : codici)
        g.MessageTitle += QStringLiteral("\ncodice = ") + QString::number(codice);
    return codici.empty() ? 0 : codici.back();
}
