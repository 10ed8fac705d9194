// The checks the client form runs as the operator leaves a field.

#include "app/CasellaTesto.h"
#include "clients/EleCli.h"
#include "clients/GesCliC.h"
#include "clients/Simili.h"
#include "data/RegoleCliente.h"
#include "data/TabCodici.h"
#include "ui/Global.h"
#include "ui/Riprova.h"

bool GesCliC::MostraSimili(int campo, const QString& chiave, const QString& memorizzato) {
    QString k = chiave;
    EleCli elenco(g_, this);
    ContaSimili = ElencoSimili(g_, elenco, k, ChiediElencoLungo);
    if (ContaSimili <= 0) return false;
    g_.DialogoAperto = true;
    // The list only informs here: the client chosen in it must not take the place of the
    // client on the form, whose code later checks exclude and a deletion removes.
    const std::int32_t codice = g_.ClientRecord.CliCodice;
    elenco.MostraModale();
    g_.ClientRecord.CliCodice = codice;
    ScriviCampo(campo, ModoMaschera == kVariazione ? memorizzato : g_.TestoIniziale);
    return true;
}

void GesCliC::ControllaCampo(std::int16_t& indice) {
    const QString s = Txt(indice)->text().trimmed();
    g_.FieldErrorNumber = Global::kNessunErrore;
    const ClientRecord& r = g_.ClientRecord;
    // A value as stored that the operator left as it was is not held to its check character:
    // a client stored long ago with a wrong one can still have its other fields changed.
    auto cifre = [&](const QString& memorizzato) {
        return g_.EnvironmentSettings.ControlloCifre &&
               !(ModoMaschera == kVariazione && s == memorizzato.trimmed());
    };
    switch (indice) {
        case kCodiceFiscale:
            if (s.isEmpty()) return;
            if (DifettoCodiceFiscale(s, cifre(letto_.CliCodiceFiscale)) != Difetto::Nessuno ||
                MostraSimili(kCodiceFiscale, s, r.CliCodiceFiscale))
                g_.FieldErrorNumber = kCodiceFiscale;
            return;
        case kNazione: {  // kept as its ISO code
            const QString iso = NazioneCliente(s, [this](QString& n) {
                return CodiceIsoNazione(
                    g_, n,
                    RiprovaApertura(g_, QStringLiteral("ERRORE IN APERTURA TABELLA NAZIONI")));
            });
            if (iso.isEmpty())
                g_.FieldErrorNumber = kNazione;
            else
                ScriviCampo(kNazione, iso);
            return;
        }
        case kPartitaIva:
            if (s.isEmpty()) return;
            if (DifettoPartitaIva(s, Txt(kNazione)->text(), cifre(letto_.CliPartitaIva)) !=
                    Difetto::Nessuno ||
                MostraSimili(kPartitaIva, s, r.CliPartitaIva))
                g_.FieldErrorNumber = kPartitaIva;
            return;
        case kRagsoc:  // and its homonyms
            if (s.isEmpty()) {
                g_.FieldErrorNumber = kRagsoc;
                return;
            }
            g_.FieldErrorNumber = Global::kErroreOmonimo;
            CodiceOmonimo = CercaOmonimi(g_, Txt(kRagsoc)->text());
            if (CodiceOmonimo == 0 ||
                g_.MsgBox(g_.MessageTitle, Pulsanti::SiNo, Icona::Domanda,
                          QStringLiteral("Clienti omonimi")) == Risposta::Si) {
                g_.FieldErrorNumber = Global::kNessunErrore;
                return;
            }
            ScriviCampo(kRagsoc,
                        ModoMaschera == kVariazione ? QString(r.CliRagsoc) : g_.TestoIniziale);
            return;
        case kProvincia:
            if (s.isEmpty()) return;
            if (CodiceMancante(
                    g_, QStringLiteral("PROVINCIE"), Txt(kProvincia)->text(), false,
                    RiprovaApertura(g_, QStringLiteral("ERRORE IN APERTURA TABELLA PROVINCIE"))))
                g_.FieldErrorNumber = kProvincia;
            return;
        default:
            return;
    }
}

void GesCliC::MostraErrore() {
    QString testo;
    switch (g_.FieldErrorNumber) {
        case kCodiceFiscale:
            testo = QStringLiteral("CODICE FISCALE ERRATO O ESISTENTE");
            break;
        case kNazione:
        case kPartitaIva:
            testo = QStringLiteral("PARTITA IVA ERRATA O ESISTENTE");
            break;
        case kRagsoc:
            testo = QStringLiteral("INDICARE LA RAGIONE SOCIALE");
            break;
        case kProvincia:
            testo = QStringLiteral("PROVINCIA ERRATA");
            break;
        case Global::kErroreOmonimo:
            // A refused homonym needs no message: back to the company name.
            g_.FieldErrorNumber = kRagsoc;
            return;
        default:
            return;
    }
    g_.MsgBox(testo, Pulsanti::OK, Icona::Critica,
              QStringLiteral("NORVAL - ERRORE N. ") + QString::number(g_.FieldErrorNumber));
}
