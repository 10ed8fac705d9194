#include "clients/Simili.h"

#include "clients/EleCli.h"
#include "data/RegoleCliente.h"
#include "ui/Global.h"
#include "ui/Valori.h"

#include <QListWidget>

namespace {

constexpr int kOltre = 200;

QString Testo(const QVariant& v) {
    return v.isNull() ? QString() : v.toString();
}

QString Colonna(const QVariant& v, int larghezza) {
    return Testo(v).leftJustified(larghezza, u' ', true);
}

// The key goes into a quoted literal: an apostrophe must stay a character of it.
QString Letterale(QString testo) {
    return testo.replace(u'\'', QStringLiteral("''"));
}

}  // namespace

QString RigaSimile(const QVariant& codice, const QVariant& chiave, const QVariant& ragsoc,
                   const QVariant& indirizzo, const QVariant& localita, const QVariant& provincia) {
    return AllineaDestra(Testo(codice).trimmed(), 6).left(6) + u'-' + Testo(chiave) + u'-' +
           Colonna(ragsoc, 30) + u' ' + Colonna(indirizzo, 20) + u' ' + Colonna(localita, 30) +
           u' ' + Colonna(provincia, 2);
}

int ElencoSimili(Global& g, EleCli& dialogo, QString& chiave, bool& chiediElencoLungo) {
    int conteggio = 0;
    const RicercaDetentori ricerca = DetentoriDi(chiave);
    const QString colonna = ricerca.Colonna();
    const QString filtro = ricerca.intera
                               ? colonna + QStringLiteral(" = '") + Letterale(ricerca.da) + u'\''
                               : colonna + QStringLiteral(" BETWEEN '") + Letterale(ricerca.da) +
                                     QStringLiteral("' AND '") + Letterale(ricerca.a) + u'\'';
    g.QueryText = QStringLiteral(
                      "SELECT CliCodice, CliRagSoc, CliIndirizzo, CliLocalita, CliProvincia, "
                      "CliPartitaIva, CliCodiceFiscale FROM Clienti WHERE ") +
                  filtro + QStringLiteral(" ORDER BY ") + colonna;

    auto* db = g.EnvironmentSettings.CompanyDatabase.get();
    if (!db) return 0;
    std::unique_ptr<motore::Recordset> rs;
    try {
        rs = db->OpenSnapshot(g.QueryText);
    } catch (const motore::Errore&) {
        return 0;
    }
    chiediElencoLungo = true;
    // Reads the list, up to the first holder past the limit unless `tutto`; true when it
    // stopped there.
    QStringList righe;
    auto Leggi = [&](motore::Recordset& r, bool tutto) {
        righe.clear();
        conteggio = 0;
        for (; !r.Eof(); r.MoveNext()) {
            const QVariant codice = r.Field(QStringLiteral("CliCodice"));
            if (InteroDa(codice) != g.ClientRecord.CliCodice) ++conteggio;
            if (!tutto && conteggio > kOltre) return true;
            righe << RigaSimile(codice, r.Field(colonna), r.Field(QStringLiteral("CliRagSoc")),
                                r.Field(QStringLiteral("CliIndirizzo")),
                                r.Field(QStringLiteral("CliLocalita")),
                                r.Field(QStringLiteral("CliProvincia")));
        }
        return false;
    };
    try {
        const bool oltre = Leggi(*rs, false);
        // The read is over before anyone is asked anything: an open read must not hold the
        // table while the operator thinks.
        rs.reset();
        if (oltre && g.MsgBox(QStringLiteral("OLTRE 200 CLIENTI: ESTRAGGO TUTTO?"), Pulsanti::SiNo,
                              Icona::Domanda, QStringLiteral("ELENCO LUNGO")) == Risposta::Si) {
            chiediElencoLungo = false;
            Leggi(*db->OpenSnapshot(g.QueryText), true);
        }
    } catch (const motore::Errore&) {
        return 0;
    }
    dialogo.Lista1->clear();
    dialogo.Lista1->addItems(righe);
    return conteggio;
}

std::int32_t CercaOmonimi(Global& g, const QString& ragioneSociale) {
    std::int32_t trovato = 0;
    const QString n = ragioneSociale.trimmed();
    if (n.isEmpty()) return 0;
    g.QueryText = QStringLiteral("SELECT CliCodice, CliRagSoc FROM Clienti WHERE ") +
                  QStringLiteral("(CliRagSoc = '") + Letterale(n) + QStringLiteral("')");

    auto* db = g.EnvironmentSettings.CompanyDatabase.get();
    if (!db) return 0;
    // A name that cannot be checked must not stop the form from saving it.
    try {
        auto rs = db->OpenSnapshot(g.QueryText);
        g.MessageTitle = QStringLiteral("CLIENTE GIA' ESISTENTE!");
        while (!rs->Eof()) {
            const std::int32_t codice = InteroDa(rs->Field(QStringLiteral("CliCodice")));
            if (codice != g.ClientRecord.CliCodice) {
                trovato = codice;
                g.MessageTitle += QStringLiteral("\ncodice = ") + QString::number(codice);
            }
            rs->MoveNext();
        }
        rs->Close();
    } catch (const motore::Errore&) {
        return 0;
    }
    return trovato;
}
