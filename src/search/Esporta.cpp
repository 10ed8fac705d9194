#include "search/Esporta.h"

#include "app/Applicativi.h"
#include "app/Cp1252.h"
#include "search/Griglia.h"
#include "ui/Global.h"

#include <QFile>
#include <QFileInfo>

namespace {

// A cell as one field: no line breaks, no blanks around it.
QString Campo(QString testo) {
    testo.remove(QChar(13));
    testo.replace(QChar(10), QChar(32));
    qsizetype a = 0, b = testo.size();
    while (a < b && testo[a] == u' ') ++a;
    while (b > a && testo[b - 1] == u' ') --b;
    return testo.mid(a, b - a);
}

// The spreadsheet keeps the file it shows; LibreOffice says so with a lock file beside it.
bool AppertoAltrove(const QString& file, const QFile& f) {
    if (f.error() == QFileDevice::OpenError || f.error() == QFileDevice::PermissionsError) {
        const QFileInfo info(file);
        return info.exists() && !info.isWritable();
    }
    return false;
}

bool BloccatoDaCalc(const QString& file) {
    const QFileInfo info(file);
    return QFileInfo::exists(info.absolutePath() + QStringLiteral("/.~lock.") + info.fileName() +
                             u'#');
}

}  // namespace

void EsportaGriglia(Global& g, Griglia& griglia, const QString& nomeForm) {
    if (griglia.CompletaRighe) griglia.CompletaRighe();
    if (griglia.Rows() == 2) {
        griglia.SetRow(1);
        griglia.SetCol(0);
        if (griglia.Text().isEmpty()) {
            g.MsgBox(QStringLiteral("NESSUN DATO DA ESPORTARE"));
            return;
        }
    }
    griglia.setVisible(false);
    const auto& env = g.EnvironmentSettings;
    QString file = env.TempDirectory + env.Mode + u'_' + nomeForm + QStringLiteral(".csv");
    QFile f(file);
    for (;;) {
        const bool aperto =
            !BloccatoDaCalc(file) && f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        if (aperto || !(BloccatoDaCalc(file) || AppertoAltrove(file, f))) break;
        const Risposta r = g.MsgBox(
            QStringLiteral("Il foglio Excel \n") + file + QStringLiteral("\nè già aperto"),
            Pulsanti::RiprovaAnnulla, Icona::Critica, QStringLiteral("EXCEL IN ESECUZIONE"));
        if (r != Risposta::Riprova) {
            griglia.setVisible(true);
            return;
        }
    }
    // Any other failure to write goes unreported: the spreadsheet still gets the name.
    if (f.isOpen()) {
        QByteArray riga;
        for (int r = 0; r < griglia.Rows(); ++r) {
            riga.clear();
            for (int c = 0; c < griglia.Cols(); ++c)
                if (griglia.ColWidth(c) > 1) riga += Cp1252(Campo(griglia.TextMatrix(r, c))) + ';';
            riga += "\r\n";
            f.write(riga);
        }
        f.close();
    }
    // The current cell ends on the last one visited, as a walk through every cell leaves it.
    griglia.SetRow(griglia.Rows() - 1);
    griglia.SetCol(griglia.Cols() - 1);
    QString applicazione = QStringLiteral("Excel");
    ApriApplicativo(g, applicazione, file, QString());
    griglia.setVisible(true);
}
