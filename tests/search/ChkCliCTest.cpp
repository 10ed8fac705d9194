#include "search/ChkCliC.h"

#include "app/CasellaTesto.h"
#include "app/Toolkit.h"
#include "clients/Simili.h"
#include "localities/AggLocalita.h"
#include "lookup/GesTab.h"
#include "search/Griglia.h"
#include "support/ModuloClientiTest.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrl>

namespace {

class ChkCliCTest : public ModuloClientiTest {
  protected:
    void Cliente(int codice, const QString& ragsoc, const QVariant& cap = QVariant(),
                 const QVariant& nazione = QVariant()) {
        motore::Workspace ws(amb.Server());
        amb.ApriDitta(ws)->Esegui(
            "INSERT INTO Clienti (CliCodice, CliRagsoc, CliCap, CliNazione, CliPartitaIva) "
            "VALUES (?1, ?2, ?3, ?4, ?5)",
            {codice, ragsoc, cap, nazione, QString("%1").arg(codice, 11, 10, QChar('0'))});
    }
    // The search form alone, loaded on the test's environment.
    std::unique_ptr<ChkCliC> Ricerca() {
        auto r = std::make_unique<ChkCliC>(g, form.get());
        r->Carica();
        return r;
    }
    // The search to the walks' runner: 0 the grid, 1 to 7 the criteria; its buttons; the
    // second button's caption (criteria or grid) as its mode; the company's data.
    using ModuloClientiTest::Passi;
    bool Passi(ChkCliC& r, const std::vector<Passo>& passi) {
        // clang-format off
        return Percorri(g.Messaggi, {Campi({r.GridRic, r.Btxt(1), r.Btxt(2), r.Btxt(3), r.Btxt(4),
                                     r.Btxt(5), r.Btxt(6), r.Btxt(7)}),
                              [&r](int i) -> QAbstractButton* { return r.CmdR(i); },
                              [&r] { return r.CmdR(1)->text(); }, nullptr}, passi);
        // clang-format on
    }

    // The configured spreadsheet: a script that notes what it was started with.
    void Foglio(const QString& nome = "foglio di calcolo") {
        const QString foglio = amb.Radice() + "bin/" + nome;
        ScriviFile(foglio, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"" +
                               argomenti.toUtf8() + ".tmp\"\nmv \"" + argomenti.toUtf8() +
                               ".tmp\" \"" + argomenti.toUtf8() + "\"\n");
        QFile::setPermissions(foglio, QFile::permissions(foglio) | QFile::ExeOwner);
        QFile ini(amb.FileIni());
        ASSERT_TRUE(ini.open(QIODevice::Append));
        ini.write("[APPLICATIVI]\nexcel=" + foglio.toUtf8() + "\n");
    }
    // What the spreadsheet was started with, waiting for it as long as asked; the next start
    // writes anew.
    QByteArray Argomenti(int attesa = 5000) {
        QFile f(argomenti);
        if (!QTest::qWaitFor([&] { return f.exists(); }, attesa)) return "<nessuno>";
        const QByteArray a = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        f.remove();
        return a;
    }

    QString argomenti = amb.Radice() + "argomenti";
};
SU_OGNI_MOTORE(ChkCliCTest);

TEST_P(ChkCliCTest, IlTestoELaGrigliaDellaRicerca) {
    Cliente(42, "ROSSI MARIO", "20121", QVariant());
    Cliente(43, "ROSSI LUCA", "00118", "  ");
    Cliente(1234567, "ROSSI ANNA", QVariant(), "DE");
    Cliente(8, "BIANCHI", "10100", "IT");
    Avvia();
    auto r = Ricerca();
    Griglia& gr = *r->GridRic;

    r->Btxt(3)->setText("NESSUNO");
    r->EseguiRicerca();
    EXPECT_EQ(gr.Rows(), 2) << "headings and one blank row";
    EXPECT_FALSE(r->CmdR(1)->isVisibleTo(r.get()));

    r->Btxt(3)->setText("BIANCHI");
    r->EseguiRicerca();
    EXPECT_EQ(gr.Rows(), 2);
    EXPECT_EQ(gr.TextMatrix(1, 0), "     8");
    EXPECT_TRUE(r->CmdR(1)->isVisibleTo(r.get()));

    r->Btxt(3)->setText("ROSSI");
    r->EseguiRicerca();
    ASSERT_EQ(gr.Rows(), 4);
    EXPECT_EQ(gr.TextMatrix(1, 0), "    42");
    EXPECT_EQ(gr.TextMatrix(1, 6), " ") << "a null nation shows one blank";
    EXPECT_EQ(gr.TextMatrix(2, 6), " ") << "and so does a blank one";
    EXPECT_EQ(gr.TextMatrix(1, 2), "") << "a null address is empty";
    EXPECT_EQ(gr.TextMatrix(3, 0), "1234567");
    EXPECT_EQ(gr.TextMatrix(3, 6), "DE");
    EXPECT_EQ(r->CmdR(1)->text(), "&SELEZIONA");

    auto Con = [&](std::map<int, QString> criteri) {
        for (int i = 1; i <= 7; ++i) r->Btxt(i)->setText(criteri.count(i) ? criteri[i] : " ");
        return r->TestoRicerca();
    };
    EXPECT_EQ(Con({}), "SELECT * FROM Clienti  ORDER BY  CliCodice ASC, CliRagSoc ASC");
    EXPECT_EQ(Con({{3, "ROSSI"}}),
              "SELECT * FROM Clienti  WHERE (CliRagSoc LIKE \"ROSSI*\") ORDER BY  CliCodice ASC, "
              "CliRagSoc ASC");
    EXPECT_EQ(Con({{1, "01234567890"}, {2, "RSS"}, {7, "1234567890123"}}),
              "SELECT * FROM Clienti  WHERE (CliPartitaIva = '01234567890') AND "
              "(CliCodiceFiscale LIKE 'RSS*') AND (CliTelefono LIKE '1234567890123*') ORDER BY  "
              "CliCodice ASC, CliRagSoc ASC");
    EXPECT_TRUE(Con({{1, "0123456789"}}).contains("(CliPartitaIva LIKE '0123456789*')"));
    EXPECT_TRUE(Con({{4, "20121"}}).contains("(CliCap = '20121')"));
    EXPECT_TRUE(Con({{4, "2012"}, {5, "MI"}, {6, "IT "}})
                    .contains("(CliCap LIKE '2012*') AND (CliProvincia LIKE 'MI*') AND "
                              "(CliNazione LIKE 'IT*')"));
    EXPECT_TRUE(
        Con({{3, QString(35, 'A')}}).contains("(CliRagSoc = \"" + QString(35, 'A') + "\")"));
    EXPECT_TRUE(Con({{3, "L'ALBA \"2\""}}).contains("(CliRagSoc LIKE \"L'ALBA \"\"2\"\"*\")"));
    EXPECT_TRUE(Con({{2, "D'A"}}).contains("(CliCodiceFiscale LIKE 'D''A*')"));

    for (const auto& [colonna, verso, ordine] :
         {std::tuple(1, 2, "CliRagSoc DESC"), std::tuple(3, 2, "CliCap DESC, CliRagSoc ASC"),
          std::tuple(12, 1, "CliCodice ASC, CliRagSoc ASC")}) {
        r->ColonnaOrdine = std::uint8_t(colonna);
        r->VersoOrdine = std::int16_t(verso);
        EXPECT_TRUE(Con({}).endsWith(QString(" ORDER BY  ") + ordine)) << ordine;
    }
    r->Scarica();
}

// A long result shows its first screen at once and the rest while the operator looks at
// it. Meanwhile another operator saves at the client form, with a short lock wait: the save
// goes through at once, and the search, in slices that run out of time, shows every client
// once, as they were when it began. Other programs write again once a search is read or
// dropped; a client chosen while the rows still arrive is read as it is now.
TEST_P(ChkCliCTest, UnRisultatoLungoArrivaMentreAltriScrivono) {
    {
        motore::Workspace ws(amb.Server());
        auto db = amb.ApriDitta(ws);
        ws.BeginTrans();
        int codice = 1;
        db->Carica("Clienti", {"CliCodice", "CliRagsoc"}, [&](QVariantList& v) {
            if (codice > 20000) return false;
            v = {codice, QString("CLIENTE %1").arg(codice++)};
            return true;
        });
        ws.CommitTrans();
    }
    Avvia();
    g.EnvironmentSettings.Workspace->ImpostaAttesaBlocco(50);
    Scrivi("12500");
    Premi(Qt::Key_Return);
    ASSERT_EQ(form->ModoMaschera, 2);
    VaiAlCampo(10);
    Scrivi("0612345");

    // The other operator: a program with databases and a search form of its own.
    Global altro;
    altro.EnvironmentSettings.EnvironmentFile = amb.FileIni();
    amb.ApriDatabase(altro);
    ChkCliC ricerca(altro);
    ASSERT_TRUE(ricerca.Carica());
    Griglia& gr = *ricerca.GridRic;
    ricerca.EseguiRicerca();
    ASSERT_TRUE(ricerca.RicercaInCorso());
    EXPECT_GT(gr.Rows(), 2);
    EXPECT_LT(gr.Rows(), 20001) << "the first screen only";
    EXPECT_TRUE(ricerca.CmdR(1)->isVisibleTo(&ricerca));
    QTest::mouseClick(form->CmdI(0), Qt::LeftButton);
    ASSERT_TRUE(ricerca.RicercaInCorso()) << "the save came before the end of the read";
    EXPECT_TRUE(Testi().empty()) << Testi().front().toStdString();
    EXPECT_EQ(form->ModoMaschera, 0);
    EXPECT_EQ(Leggi("SELECT trim(CliTelefono) FROM Clienti WHERE CliCodice = 12500"), "0612345");
    QTRY_VERIFY_WITH_TIMEOUT(!ricerca.RicercaInCorso(), 10000);
    ASSERT_EQ(gr.Rows(), 20001);
    for (int i = 1; i <= 20000; ++i)
        ASSERT_EQ(gr.TextMatrix(i, 0).trimmed(), QString::number(i)) << "no row lost or doubled";
    EXPECT_EQ(gr.TextMatrix(12500, 7), " ");

    motore::Workspace terzoWs(amb.Server());
    auto terzo = amb.ApriDitta(terzoWs);
    terzoWs.ImpostaAttesaBlocco(100);
    auto Scrive = [&] {
        try {
            terzo->Esegui("UPDATE Clienti SET CliCap = '1' WHERE CliCodice = 1");
            return true;
        } catch (const motore::Errore&) {
            return false;
        }
    };
    EXPECT_TRUE(Scrive());
    // A new search drops the one being read; so does closing the form.
    ricerca.EseguiRicerca();
    ricerca.Btxt(3)->setText("CLIENTE 49");
    ricerca.EseguiRicerca();
    ricerca.CompletaRicerca();
    EXPECT_EQ(gr.Rows(), 112) << "49, 490 to 499, 4900 to 4999";
    EXPECT_TRUE(Scrive());
    ricerca.Btxt(3)->setText(" ");
    ricerca.EseguiRicerca();
    ASSERT_TRUE(ricerca.RicercaInCorso());
    ricerca.Scarica();
    EXPECT_TRUE(Scrive());

    // Chosen while the rows still arrive: changed by another program since the search began,
    // or deleted.
    for (const int codice : {2, 3}) {
        auto s = Ricerca();
        s->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(s.get()));
        s->Btxt(3)->setText(" ");  // not the name of the client chosen before
        s->EseguiRicerca();
        terzo->Esegui(codice == 2 ? "UPDATE Clienti SET CliRagsoc = 'CAMBIATO' WHERE CliCodice = 2"
                                  : "DELETE FROM Clienti WHERE CliCodice = 3");
        ASSERT_TRUE(s->RicercaInCorso());
        Griglia& sg = *s->GridRic;
        sg.SetRow(codice);
        const int y = toolkit::PixelDaTwipY(sg.RowPos(codice)) - sg.horizontalHeader()->height();
        QTest::mouseDClick(sg.viewport(), Qt::LeftButton, {}, QPoint(5, y + 2));
        EXPECT_TRUE(s->Scaricato());
        EXPECT_EQ(s->Scelto(), codice == 2 ? 2 : 0) << "a client gone is no choice";
        if (codice == 2) {
            EXPECT_EQ(g.ClientRecord.CliRagsoc.trimmed(), "CAMBIATO");
        }
    }
    EXPECT_EQ(g.ClientRecord.CliCodice, 0);
    EXPECT_EQ(Testi(), std::vector<QString>{"CLIENTE CANCELLATO DA UN ALTRO UTENTE"});
}

// The export writes every column wider than one twip, headings first, each field cleaned and
// followed by ";", in the office's 8-bit code page, and hands the file to the spreadsheet. A
// field holding ";" or a double quote is quoted, so that it stays one field.
TEST_P(ChkCliCTest, LEsportazioneScriveIlFileEApreIlFoglio) {
    Cliente(7, "CAFFÈ L'ANGOLO; SNC", "20121", "IT");
    Avvia();
    const QString file = amb.Radice() + "tmp/E_ChkCliC.csv";
    Foglio();

    auto r = Ricerca();
    Griglia& gr = *r->GridRic;
    r->cmdExcel->click();
    EXPECT_EQ(Testi(), std::vector<QString>{"NESSUN DATO DA ESPORTARE"}) << "never filled";
    EXPECT_FALSE(QFile::exists(file));

    // A file that cannot be written is reported with its path and why, and no spreadsheet is
    // started on an old file or on none.
    g.Messaggi.AzzeraMostrati();
    r->EseguiRicerca();
    r->cmdExcel->click();
    EXPECT_EQ(Testi(), std::vector<QString>{"Il file\n" + file +
                                            "\nnon si può scrivere: la cartella non esiste"});
    EXPECT_EQ(g.Messaggi.Mostrati().back().titolo, "ESPORTAZIONE NON RIUSCITA");
    EXPECT_FALSE(gr.isHidden());
    EXPECT_EQ(Argomenti(300), "<nessuno>");
    QDir().mkpath(amb.Radice() + "tmp");
    g.Messaggi.AzzeraMostrati();

    const QByteArray intestazioni =
        "CODICE;RAGIONE SOCIALE;INDIRIZZO;CAP;LOCALITA';PV;NAZ;TELEFONO;PART. IVA;CODICE "
        "FISCALE;\r\n";
    r->Btxt(3)->setText("NESSUNO");
    r->EseguiRicerca();
    r->cmdExcel->click();
    EXPECT_EQ(LeggiFile(file), intestazioni + ";;;;;;;;;;\r\n") << "no client: one empty line";
    EXPECT_EQ(Argomenti(), file.toUtf8() + "\n") << "the file name reaches it as one argument";

    r->Btxt(3)->setText("CAFF");
    r->EseguiRicerca();
    gr.SetTextMatrix(1, 2, " VIA\r\nROMA 1\n");
    gr.SetTextMatrix(1, 9, "IL \"FARO\"");
    gr.SetColWidth(5, 1);
    gr.SetColWidth(7, 0);
    r->cmdExcel->click();
    EXPECT_EQ(
        LeggiFile(file),
        "CODICE;RAGIONE SOCIALE;INDIRIZZO;CAP;LOCALITA';NAZ;PART. IVA;CODICE FISCALE;\r\n"
        "7;\"CAFF\xC8 L'ANGOLO; SNC\";VIA ROMA 1;20121;;IT;00000000007;\"IL \"\"FARO\"\"\";\r\n");
    EXPECT_EQ(gr.Row(), gr.Rows() - 1) << "the current cell ends on the last one";
    Argomenti();

    // The spreadsheet still shows the file (LibreOffice keeps a lock beside it): Retry asks
    // again, Cancel leaves the file as it was and starts nothing.
    const QByteArray prima = LeggiFile(file);
    const QString blocco = amb.Radice() + "tmp/.~lock.E_ChkCliC.csv#";
    ScriviFile(blocco,
               ",mario,un-altro-pc,07.12.2026 13:51,file:///home/mario/.config/libreoffice/4;");
    g.Messaggi.AzzeraMostrati();
    g.Messaggi.Copione({Risposta::Riprova, Risposta::Annulla});
    r->Btxt(3)->setText(" ");
    r->EseguiRicerca();
    r->cmdExcel->click();
    ASSERT_EQ(Testi().size(), 2u);
    EXPECT_EQ(Testi()[0], "Il foglio Excel \n" + file + "\nè già aperto");
    EXPECT_EQ(g.Messaggi.Mostrati()[0].titolo, "EXCEL IN ESECUZIONE");
    EXPECT_EQ(LeggiFile(file), prima);
    EXPECT_FALSE(gr.isHidden());
    EXPECT_EQ(Argomenti(300), "<nessuno>");

    // A lock left by a spreadsheet that is no longer running here holds nothing; nor does a
    // read-only file of the operator's.
    ScriviFile(blocco, ",nobody," + QSysInfo::machineHostName().toUtf8() +
                           ",07.12.2026 13:51,file:///nonexistent/profilo;");
    QFile::setPermissions(file, QFile::ReadOwner);
    g.Messaggi.AzzeraMostrati();
    r->cmdExcel->click();
    EXPECT_TRUE(Testi().empty());
    EXPECT_NE(LeggiFile(file), prima);
    EXPECT_EQ(Argomenti(), file.toUtf8() + "\n");

    g.EnvironmentSettings.Mode = "I";
    r->cmdExcel->click();
    EXPECT_TRUE(QFile::exists(amb.Radice() + "tmp/I_ChkCliC.csv"));
    r->Scarica();
}

// Every list of the program in one order on either engine: texts byte by byte without their
// trailing blanks (capitals, small letters, then accented capitals), nulls first ascending and
// last descending, equal rows by code (a code table by its code, localities by their key),
// also where the server's column sorts by another collation. The grid is sorted by a click on
// each heading, both ways; the export writes what the grid shows.
TEST_P(ChkCliCTest, OgniElencoInUnSoloOrdine) {
    const QVariant N;
    const std::vector<QVariant> testi = {N,       "",     "   ",  "TIE NAME", "TIE NAME ",
                                         "ÈLITE", "ZETA", "zeta", "ÙLTIMO"};
    const std::vector<QVariant> corti = {N, "", "  ", "MI", "MI ", "ÈN", "ZZ", "zz", "Ù"};
    // Written in no order of code, as saves and copies leave them.
    const std::vector<int> codici = {5, 17, 3, 42, 8, 23, 11, 2, 30, 14, 9, 1};
    const std::vector<QVariant> iva = {
        N, "",      "01234567890", "01234567890 ", "0123",       "01234567890", "99999999999",
        N, "0123 ", "   ",         "01239",        "01234567890"};
    const std::vector<QVariant> cf = {"RSSMRA80", N,      "RSS",  "rssa", "RSSMRA80", "",
                                      "RSSZ",     "ÈRSS", "RSS ", N,      "BNCLCU",   "RSSMRA80 "};
    const char* colonne[] = {"CliRagsoc",   "CliIndirizzo",  "CliCap",
                             "CliLocalita", "CliProvincia",  "CliNazione",
                             "CliTelefono", "CliPartitaIva", "CliCodiceFiscale"};
    std::map<int, std::vector<QVariant>> righe;  // by code: the nine sortable columns
    // Another program on the company.
    motore::Workspace altroWs(amb.Server());
    auto ditta = amb.ApriDitta(altroWs);
    if (amb.SulServer()) {
        // A column of the server's own linguistic collation, where È comes before Z.
        ditta->Esegui(
            "DO $$ BEGIN IF EXISTS (SELECT 1 FROM pg_collation WHERE collname = 'it-x-icu') "
            "THEN ALTER TABLE Clienti ALTER COLUMN CliLocalita TYPE varchar(35) COLLATE "
            "\"it-x-icu\"; END IF; END $$");
    }
    for (size_t i = 0; i < codici.size(); ++i) {
        std::vector<QVariant> v;
        for (size_t c = 0; c < 7; ++c) {
            const auto& lista = c == 4 || c == 5 ? corti : testi;
            v.push_back(lista[(i * (c + 2) + c) % lista.size()]);
        }
        v.push_back(iva[i]);
        v.push_back(cf[i]);
        QVariantList valori{codici[i]};
        for (const QVariant& x : v) valori << x;
        ditta->Esegui(
            "INSERT INTO Clienti (CliCodice, CliRagsoc, CliIndirizzo, CliCap, CliLocalita, "
            "CliProvincia, CliNazione, CliTelefono, CliPartitaIva, CliCodiceFiscale) VALUES "
            "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
            valori);
        righe[codici[i]] = v;
    }
    // Saved again: on the server a row changes its place.
    ditta->Esegui("UPDATE Clienti SET CliTelefono = CliTelefono WHERE CliCodice IN (2, 17)");
    // The rule written out: nulls before any text, a text as its bytes without the trailing
    // blanks.
    auto Confronta = [](const QVariant& x, const QVariant& y) {
        if (x.isNull() || y.isNull()) return int(y.isNull()) - int(x.isNull());
        auto Byte = [](QString s) {
            while (s.endsWith(' ')) s.chop(1);
            return s.toUtf8();
        };
        return Byte(x.toString()).compare(Byte(y.toString()));
    };
    // The grid breaks ties by name before the code; the other lists by the code alone.
    auto Atteso = [&](int colonna, bool discendente, std::function<bool(int)> scelto,
                      bool perNome = true) {
        QStringList attesi;
        std::vector<int> ordine;
        for (const auto& [codice, v] : righe)
            if (scelto(codice)) ordine.push_back(codice);
        std::stable_sort(ordine.begin(), ordine.end(), [&](int a, int b) {
            int c = Confronta(righe[a][size_t(colonna)], righe[b][size_t(colonna)]);
            if (discendente) c = -c;
            if (c == 0 && perNome) c = Confronta(righe[a][0], righe[b][0]);
            return c < 0;
        });
        for (int codice : ordine) attesi << QString::number(codice);
        return attesi;
    };
    auto Tutti = [](int) { return true; };

    Avvia();
    Foglio();
    QDir().mkpath(amb.Radice() + "tmp");
    auto r = Ricerca();
    r->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(r.get()));
    Griglia& gr = *r->GridRic;
    auto Griglia = [&] {
        r->CompletaRicerca();
        QStringList codici;
        for (int riga = 1; riga < gr.Rows(); ++riga) codici << gr.TextMatrix(riga, 0).trimmed();
        return codici;
    };
    r->EseguiRicerca();
    EXPECT_EQ(Griglia(),
              QStringList({"1", "2", "3", "5", "8", "9", "11", "14", "17", "23", "30", "42"}))
        << "at first by code";
    const int y = gr.RowPos(gr.TopRow()) / 2;
    // Sorted in the grid, nothing having changed since the search; then by the query.
    const int ricerche = r->Ricerche();
    for (int colonna = 1; colonna <= 9; ++colonna) {
        for (int pulsante : {1, 2}) {
            gr.MouseDown(pulsante, 0, gr.ColPos(colonna) + 30, y);
            const QStringList inGriglia = Griglia();
            r->EseguiRicerca();
            for (const QStringList& ordine : {inGriglia, Griglia()})
                EXPECT_EQ(ordine, Atteso(colonna - 1, pulsante == 2, Tutti))
                    << colonne[colonna - 1] << (pulsante == 2 ? " DESC\n" : " ASC\n")
                    << r->UltimaRicerca().toStdString();
        }
    }
    // On a server any commit, another test's on the same cluster too, makes a click query
    // again, as it should: there, some click at least sorted in the grid.
    if (amb.SulServer())
        EXPECT_LT(r->Ricerche(), ricerche + 2 * 18) << "the clicks sent no query";
    else
        EXPECT_EQ(r->Ricerche(), ricerche + 18) << "the clicks sent no query";
    r->cmdExcel->click();
    Argomenti();
    QStringList esportati;
    for (const QByteArray& riga : LeggiFile(amb.Radice() + "tmp/E_ChkCliC.csv").split('\n').mid(1))
        if (!riga.trimmed().isEmpty()) esportati << riga.split(';').front();
    EXPECT_EQ(esportati, Atteso(8, true, Tutti)) << "the export, as the grid";

    // Saved since the search, by another program or this one, or other criteria: the click
    // runs the query again, and the new client shows.
    for (motore::Database* db : std::initializer_list<motore::Database*>{
             ditta.get(), g.EnvironmentSettings.CompanyDatabase.get(), nullptr}) {
        const int prima = r->Ricerche();
        if (db)
            db->Esegui("INSERT INTO Clienti (CliCodice, CliRagsoc) VALUES (?1, 'NUOVO')",
                       {db == ditta.get() ? 100 : 101});
        r->Btxt(3)->setText(db ? " " : "NUOVO");
        gr.MouseDown(1, 0, gr.ColPos(2) + 30, y);
        EXPECT_EQ(r->Ricerche(), prima + 1);
        EXPECT_TRUE(Griglia().contains(db == ditta.get() ? "100" : "101"));
    }

    // Clicks that sort nothing: the code column, below the headings, one client alone;
    // right of the last heading counts as the last column.
    const QString prima = r->UltimaRicerca();
    gr.MouseDown(1, 0, gr.ColPos(1) - 30, y);
    gr.MouseDown(1, 0, gr.ColPos(1) + 30, gr.RowPos(gr.TopRow()) + 30);
    EXPECT_EQ(r->UltimaRicerca(), prima);
    gr.MouseDown(1, 0, gr.ColPos(9) + 5000, y);
    EXPECT_TRUE(r->UltimaRicerca().endsWith("ORDER BY  CliCodiceFiscale ASC, CliRagSoc ASC"));
    r->Btxt(1)->setText("99999999999");
    r->EseguiRicerca();
    const QString uno = r->UltimaRicerca();
    gr.MouseDown(1, 0, gr.ColPos(3) + 30, y);
    EXPECT_EQ(r->UltimaRicerca(), uno);
    r->Scarica();

    // The similar clients by VAT number and by fiscal code, and the homonyms.
    EleCli elenco(g);
    auto Simili = [&](QString chiave) {
        bool chiedi = false;
        ElencoSimili(g, elenco, chiave, chiedi);
        QStringList codici;
        for (int i = 0; i < elenco.Lista1->count(); ++i)
            codici << elenco.Lista1->item(i)->text().left(6).trimmed();
        return codici;
    };
    auto Prefisso = [&](int colonna, const QString& p) {
        return [&righe, colonna, p](int codice) {
            const QVariant& v = righe[codice][size_t(colonna)];
            return !v.isNull() && v.toString().toLower().startsWith(p);
        };
    };
    EXPECT_EQ(Simili("0123"), Atteso(7, false, Prefisso(7, "0123"), false));
    EXPECT_EQ(Simili("RSS"), Atteso(8, false, Prefisso(8, "rss"), false));
    g.ClientRecord.CliCodice = 0;
    const QStringList omonimi = Atteso(
        0, false, [&](int codice) { return Confronta(righe[codice][0], "TIE NAME") == 0; }, false);
    ASSERT_GE(omonimi.size(), 2);
    EXPECT_EQ(CercaOmonimi(g, "TIE NAME"), omonimi.back().toInt());
    EXPECT_EQ(g.MessageTitle, "CLIENTE GIA' ESISTENTE!\ncodice = " + omonimi.join("\ncodice = "));

    // The lookup dialog cut at 1000 lines keeps the lowest codes; the localities page in
    // their key's order.
    std::vector<std::pair<QString, QString>> codiciTabella;
    for (int i = 1000; i >= 0; --i)
        codiciTabella.emplace_back(QString("C%1").arg(i, 4, 10, QChar('0')), QString("D%1").arg(i));
    for (const char* c : {"Z0001", "z0001", "È0001", "c0001"})
        codiciTabella.emplace_back(c, "SPECIALE");
    amb.CreaTabellaCodici("LUNGA", 5, 10, codiciTabella);
    const std::vector<std::pair<QString, QString>> localita = {
        {"ROMA", "00199"},   {"ÈRBA", "22036"},   {"zoagli", "16030"}, {"MILANO", "20121"},
        {"ROMANO", "24058"}, {"MILANO", "2012 "}, {"ZUGLIO", "33020"}, {"ROMA", "00118"}};
    {
        motore::Workspace ws(amb.Server());
        auto tabelle = amb.ApriTabelle(ws);
        tabelle->CreaTabella("LOCALITA", {{"LocLocalita", 50, true},
                                          {"LocCAP", 5, true},
                                          {"LocProvincia", 2},
                                          {"LocPrefisso", 5},
                                          {"LocRegione", 3}});
        tabelle->CreaIndice("LOCALITA", "primaria", {"LocLocalita", "LocCAP"},
                            motore::TipoIndice::Unico);
        for (const auto& [nome, cap] : localita)
            tabelle->Esegui("INSERT INTO LOCALITA (LocLocalita, LocCAP) VALUES (?1, ?2)",
                            {nome, cap});
        if (amb.SulServer())
            tabelle->Esegui(
                "DO $$ BEGIN IF EXISTS (SELECT 1 FROM pg_collation WHERE collname = "
                "'it-x-icu') THEN ALTER TABLE LUNGA ALTER COLUMN CODICE TYPE varchar(5) "
                "COLLATE \"it-x-icu\"; END IF; END $$");
    }
    g.Messaggi.Copione({Risposta::No});
    {
        GesTab d(g, "LUNGA");
        d.Carica();
        d.show();
        d.CodTab->setFocus();
        Attendi();
        QStringList attese;
        for (int i = 0; i < 1000; ++i)
            attese << QString("C%1 - D%2").arg(i, 4, 10, QChar('0')).arg(i).leftJustified(18);
        QStringList lista;
        for (int i = 0; i < d.Lista->count(); ++i) lista << d.Lista->item(i)->text();
        EXPECT_EQ(lista, attese) << "the first 1000 codes in bytes, then sorted";
        d.Scarica();
    }
    auto chiavi = localita;
    std::sort(chiavi.begin(), chiavi.end(), [&](const auto& a, const auto& b) {
        const int c = Confronta(a.first, b.first);
        return c != 0 ? c < 0 : Confronta(a.second, b.second) < 0;
    });
    QStringList attese;
    for (const auto& [nome, cap] : chiavi) attese << nome + '|' + cap.trimmed();
    QStringList avanti, indietro;
    NelModale<AggLocalita>([&](AggLocalita& d) {
        for (int passi = 0; passi < 20; ++passi) {
            QTest::mouseClick(d.Muoviti(0), Qt::LeftButton);
            Attendi();
            const QString qui = d.Cod1->text() + '|' + d.Btxt(1)->text();
            if (!avanti.isEmpty() && avanti.back() == qui) break;
            avanti << qui;
        }
        indietro << avanti.value(avanti.size() - 1);
        for (int passi = 0; passi < 20; ++passi) {
            QTest::mouseClick(d.Muoviti(1), Qt::LeftButton);
            Attendi();
            const QString qui = d.Cod1->text() + '|' + d.Btxt(1)->text();
            if (indietro.front() == qui) break;
            indietro.prepend(qui);
        }
        d.Scarica();
    });
    AggLocalita::Apri(g, "", "", form.get());
    EXPECT_EQ(avanti, attese);
    EXPECT_EQ(indietro, attese);
}

TEST_P(ChkCliCTest, DalCampoCodiceSiSceglieUnCliente) {
    Cliente(41, "ROSSI LUCA", "00118");
    Cliente(42, "ROSSI MARIO", "20121");
    {
        motore::Workspace ws(amb.Server());
        amb.ApriDitta(ws)->Esegui(
            "UPDATE Clienti SET CliCodiceFiscale = 'RSSMRA85T10A562S' WHERE CliCodice = 42");
    }
    Avvia();
    ASSERT_EQ(CampoConFuoco(), 0);
    NelModale<ChkCliC>([this](ChkCliC& r) {
        EXPECT_EQ(Fuoco(), r.Btxt(1));
        // Entering the field selects its blank, so typing replaces it.
        QTRY_VERIFY_WITH_TIMEOUT(r.Btxt(1)->hasSelectedText(), 5000);
        // clang-format off
        Passi(r, {
            {.scrivi = "a1", .campi = {{1, "1"}}},  // digits only in the VAT number
            {.tasto = Qt::Key_Up, .fuoco = 7},  // up from the first criterion wraps to the last
            {.tasto = Qt::Key_Home}, {.tasto = Qt::Key_Backspace}, {.tasto = Qt::Key_Down},
            {.tasto = Qt::Key_Down, .fuoco = 3},
            {.scrivi = "rossi m", .campi = {{3, "ROSSI M"}}},
            {.tasto = Qt::Key_E, .con = Qt::AltModifier},
        });
        // clang-format on
        ASSERT_EQ(r.GridRic->Rows(), 2);
        Passi(r, {{.tasto = Qt::Key_S, .con = Qt::AltModifier, .modo = "&RICERCA"}});
        EXPECT_TRUE(r.InGriglia);
        Premi(Qt::Key_Return);
    });
    Premi(Qt::Key_F4);
    QTest::qWait(100);
    EXPECT_TRUE(eseguito);
    // The client's own mode and the choice reaching the form: finestra_reale.sh.
    EXPECT_EQ(Txt(0)->text(), "42");
    EXPECT_EQ(form->CmdI(0)->text(), "&CONFERMA");
    EXPECT_FALSE(Txt(0)->isEnabled());
    EXPECT_EQ(g.PosizioneGriglia.Row, 1);
    // The fiscal code, where the focus went, was entered: Ctrl+R gives back its own text.
    ASSERT_EQ(CampoConFuoco(), 1);
    Premi(Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(Txt(1)->text(), "RSSMRA85T10A562S");

    // Opened again, on the grid at its place. USCITA leaving the code typed open, and Enter
    // then taking it: finestra_reale.sh.
    form->CmdI(3)->click();
    Attendi();
    NelModale<ChkCliC>([this](ChkCliC& r) {
        // A client chosen once: the grid at its place.
        Passi(r, {{.fuoco = 0}, {.tasto = Qt::Key_U, .con = Qt::AltModifier}});
    });
    Premi(Qt::Key_F4);
    QTest::qWait(100);
    EXPECT_TRUE(eseguito);
}

// LibreOffice Calc, started as the launcher starts it, reads the export as the database holds
// it: split at the separators only, the accents in place, every value as text (a CAP or VAT
// number keeps its leading zeros, a "+39" stays a telephone number).
// Calc reads a file, wherever its rows came from: once is enough.
class ChkCliCCalc : public ChkCliCTest {};
INSTANTIATE_TEST_SUITE_P(Motori, ChkCliCCalc, ::testing::Values(Motore::File), NomeMotore);

TEST_P(ChkCliCCalc, CalcLeggeLEsportazioneComeNelDatabase) {
    const QString soffice = QStandardPaths::findExecutable("soffice");
    if (soffice.isEmpty()) GTEST_SKIP() << "LibreOffice Calc (soffice) is not installed";
    const QStringList clienti[] = {
        {"7", "BAR L'ANGOLO; DI ROSSI", "VIA DELL'ORO 2/3", "00118", "FORLÌ", "FC", "IT",
         "0544 123456", "08477010907", "RSSMRA80A01H501U"},
        {"12", "IL \"FARO\" S.R.L.", "PIAZZA \"GARIBALDI\"; 3", "20121", "CANTÙ", "CO", "IT",
         "+39 031 7000", "01234567890", "01234567890"},
    };
    {
        motore::Workspace ws;
        auto db = amb.ApriDitta(ws);
        for (const QStringList& c : clienti)
            db->Esegui(
                "INSERT INTO Clienti (CliCodice, CliRagsoc, CliIndirizzo, CliCap, "
                "CliLocalita, CliProvincia, CliNazione, CliTelefono, CliPartitaIva, "
                "CliCodiceFiscale) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
                {c[0].toInt(), c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9]});
    }
    Avvia();
    QDir().mkpath(amb.Radice() + "tmp");
    Foglio("soffice");
    auto r = Ricerca();
    r->EseguiRicerca();
    r->cmdExcel->click();
    r->Scarica();
    const QString file = amb.Radice() + "tmp/E_ChkCliC.csv";
    const QStringList lancio = QString::fromUtf8(Argomenti()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lancio.size(), 2);
    EXPECT_EQ(lancio[1], file);

    // The same options, then what Calc read written back as UTF-8, every text cell quoted.
    QProcess calc;
    calc.setProcessChannelMode(QProcess::MergedChannels);
    calc.start(soffice,
               {"-env:UserInstallation=" + QUrl::fromLocalFile(amb.Radice() + "profilo").toString(),
                "--headless", "--norestore", lancio[0], "--convert-to",
                "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true", "--outdir",
                amb.Radice() + "calc", file});
    ASSERT_TRUE(calc.waitForFinished(300000)) << "Calc did not finish";
    const QByteArray letto = LeggiFile(amb.Radice() + "calc/E_ChkCliC.csv");
    ASSERT_FALSE(letto.isEmpty()) << calc.readAll().toStdString();

    // Every cell as it stands in the database, and quoted: read as text, not as a number.
    QString atteso;
    for (QStringList riga :
         {QStringList{"CODICE", "RAGIONE SOCIALE", "INDIRIZZO", "CAP", "LOCALITA'", "PV", "NAZ",
                      "TELEFONO", "PART. IVA", "CODICE FISCALE"},
          clienti[0], clienti[1]}) {
        for (QString& c : riga) c = '"' + c.replace("\"", "\"\"") + '"';
        atteso += riga.join(',') + '\n';
    }
    EXPECT_EQ(QString::fromUtf8(letto).remove('\r').toStdString(), atteso.toStdString());
}

}  // namespace
