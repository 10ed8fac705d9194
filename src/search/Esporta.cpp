// The grid as a CSV file the spreadsheet reads back unchanged (code page, quoting, text
// columns); written whole or not at all, and opened only then.

#include "search/Esporta.h"

#include "app/Cp1252.h"
#include "app/Documenti.h"
#include "search/Griglia.h"
#include "ui/Applicativi.h"
#include "ui/Global.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// A cell as one field: no line breaks, no blanks around it; one that holds the separator or a
// double quote in double quotes, its own doubled, so that it stays one field.
QString Campo(QString testo) {
    testo.remove(QChar(13));
    testo.replace(QChar(10), QChar(32));
    qsizetype a = 0, b = testo.size();
    while (a < b && testo[a] == u' ') ++a;
    while (b > a && testo[b - 1] == u' ') --b;
    testo = testo.mid(a, b - a);
    if (!testo.contains(u';') && !testo.contains(u'"')) return testo;
    return u'"' + testo.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// A cell whose field is its own text without the blanks around it: plain ASCII, which is
// the same in the file's code page, with nothing to remove, replace or quote.
bool Semplice(QByteArrayView utf8) {
    return std::all_of(utf8.begin(), utf8.end(),
                       [](char c) { return c >= ' ' && c <= '~' && c != ';' && c != '"'; });
}

// The import options that make LibreOffice Calc read the file as it was written: ";" between
// fields, '"' around them, Windows-1252, from the first line, each column as text (so that
// CAP 00118 keeps its zeros).
QString FiltroCalc(int colonne) {
    QString formati;
    for (int c = 1; c <= colonne; ++c)
        formati +=
            (c > 1 ? QStringLiteral("/") : QString()) + QString::number(c) + QStringLiteral("/2");
    return QStringLiteral("--infilter=Text - txt - csv (StarCalc):59,34,1,1,") + formati;
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
    // In a folder the office's logins share, another login's list keeps its name.
    QString file =
        DocumentoProprio(env.TempDirectory + env.Mode + u'_' + nomeForm + QStringLiteral(".csv"));
    while (DocumentoTenutoAperto(file)) {
        const Risposta r = g.MsgBox(
            QStringLiteral("Il foglio Excel \n") + file + QStringLiteral("\nè già aperto"),
            Pulsanti::RiprovaAnnulla, Icona::Critica, QStringLiteral("EXCEL IN ESECUZIONE"));
        if (r != Risposta::Riprova) {
            griglia.setVisible(true);
            return;
        }
    }
    NuovoDocumento documento(file);
    bool scritto = documento.Apri();
    int colonne = 0;
    for (int c = 0; c < griglia.Cols(); ++c) colonne += griglia.ColWidth(c) > 1;
    std::vector<bool> visibile;
    for (int c = 0; c < griglia.Cols(); ++c) visibile.push_back(griglia.ColWidth(c) > 1);
    QByteArray riga;
    for (int r = 0; r < griglia.Rows() && scritto; ++r) {
        riga.clear();
        // Each row read once, its cells taken in turn; those past its end are empty.
        const QByteArrayView linea = griglia.RowUtf8(r);
        const char* a = linea.isEmpty() ? nullptr : linea.data();
        const char* fine = a + linea.size();
        for (size_t c = 0; c < visibile.size(); ++c) {
            QByteArrayView cella;
            if (a) {
                const auto* t = static_cast<const char*>(std::memchr(a, '\t', size_t(fine - a)));
                cella = QByteArrayView(a, (t ? t : fine) - a);
                a = t ? t + 1 : nullptr;
            }
            if (!visibile[c]) continue;
            if (Semplice(cella))
                riga += cella.trimmed();
            else
                riga += Cp1252(Campo(QString::fromUtf8(cella)));
            riga += ';';
        }
        riga += "\r\n";
        scritto = documento.Scrivi(riga);
    }
    scritto = scritto && documento.Concludi();
    // The current cell ends on the last one visited, as a walk through every cell leaves it.
    griglia.SetRow(griglia.Rows() - 1);
    griglia.SetCol(griglia.Cols() - 1);
    if (!scritto) {
        // The spreadsheet would show an old file, or none, as if it were this list.
        g.MsgBox(QStringLiteral("Il file\n") + file + QStringLiteral("\nnon si può scrivere: ") +
                     documento.Causa(),
                 Pulsanti::OK, Icona::Critica, QStringLiteral("ESPORTAZIONE NON RIUSCITA"));
        griglia.setVisible(true);
        return;
    }
    RimuoviBloccoOrfano(file);
    QString applicazione = QStringLiteral("Excel");
    ApriApplicativo(g, applicazione, file, QString(), {FiltroCalc(colonne)});
    griglia.setVisible(true);
}
