#include "lookup/GesTab.h"

#include "app/CasellaTesto.h"
#include "support/ModuloClientiTest.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

class GesTabTest : public ModuloClientiTest {
  protected:
    // The lookup to the walks' runner: 0 the code box, 1 the description box, 2 the list;
    // its buttons; the list's lines as its mode.
    using ModuloClientiTest::Passi;
    bool Passi(GesTab& d, const std::vector<Passo>& passi) {
        return Percorri(g.Messaggi,
                        {Campi({d.CodTab, d.DescTab, d.Lista}),
                         [&d](int i) -> QAbstractButton* { return d.cmdRt[size_t(i)]; },
                         [&d] { return QString::number(d.Lista->count()); }, nullptr},
                        passi);
    }
    static QStringList Righe(const GesTab& d) {
        QStringList r;
        for (int i = 0; i < d.Lista->count(); ++i) r << d.Lista->item(i)->text();
        return r;
    }
    // A code table of n rows in the code-tables database.
    void Tabella(const QString& nome, int righe) {
        std::vector<std::pair<QString, QString>> valori;
        for (int i = 0; i < righe; ++i)
            valori.emplace_back(QString("C%1").arg(i, 4, 10, QChar('0')), QString("D%1").arg(i));
        amb.CreaTabellaCodici(nome, 5, 10, valori);
    }
};
SU_OGNI_MOTORE(GesTabTest);

TEST_P(GesTabTest, LaProvinciaSiCercaPerCodiceEConfermaScriveIlCampo) {
    Avvia();
    NuovoCliente();
    Avanza(9);
    NelModale<GesTab>([this](GesTab& d) {
        EXPECT_TRUE(d.CodTab->isVisible());
        EXPECT_FALSE(d.DescTab->isVisible());
        const QStringList righe = Righe(d);
        ASSERT_EQ(righe.size(), 2) << "every province, from the start";
        EXPECT_EQ(righe[0], "MI - MILANO" + QString(34, ' ')) << "the description padded to 40";
        EXPECT_TRUE(d.cmdRt[1]->isVisible());
        Scrivi("R");
        EXPECT_EQ(d.TestoElenco(),
                  "Select CODICE, DESCRIZIONE from PROVINCIE where CODICE BETWEEN 'R' and 'Rzzz' "
                  "ORDER BY CODICE");
        ASSERT_EQ(d.Lista->count(), 1) << "the list follows the typing";
        EXPECT_TRUE(d.Lista->item(0)->text().startsWith("RM - ROMA"));
        EXPECT_FALSE(d.cmdRt[1]->isVisible()) << "X SELEZIONA needs two lines";
        d.CodTab->setText("r");  // pasted in lower case: the same range
        ASSERT_EQ(d.Lista->count(), 1);
        EXPECT_TRUE(d.Lista->item(0)->text().startsWith("RM - ROMA"));
        Premi(Qt::Key_C, Qt::AltModifier);
    });
    // A chosen code fills the field and moves on, as typed, and passes the check that leaving
    // the field runs.
    Passi({{.tasto = Qt::Key_F4, .fuoco = 10, .campi = {{9, "RM"}}},
           {.tasto = Qt::Key_Up, .fuoco = 9}});
    EXPECT_TRUE(eseguito);
    EXPECT_TRUE(Testi().empty());

    // USCITA (by mouse: no pre-read of the box) and F2 leave the field as it was.
    for (const bool mouse : {true, false}) {
        NelModale<GesTab>([this, mouse](GesTab& d) {
            Scrivi("M");
            if (!mouse) return Premi(Qt::Key_F2);
            QTest::mouseClick(d.cmdRt[2], Qt::LeftButton);
            EXPECT_TRUE(d.Letta().Codice.isEmpty());
        });
        Passi({{.tasto = Qt::Key_F4, .fuoco = 9, .campi = {{9, "RM"}}}});
        EXPECT_TRUE(eseguito);
    }
    Passi({{.vai = 10}});
    NelModale<GesTab>([](GesTab& d) { d.Scarica(); });
    Premi(Qt::Key_F4);
    EXPECT_FALSE(eseguito) << "a white field has no lookup";
    QApplication::processEvents();
}

TEST_P(GesTabTest, LeNazioniSiCercanoPerDescrizioneUscendoDallaCasellaVuota) {
    Avvia();
    NuovoCliente();
    Avanza(2);
    NelModale<GesTab>([this](GesTab& d) {
        // The nation's search starts from the field; an ISO code is not a table code. The
        // empty code box left: the description search.
        Passi(d, {{.campi = {{0, "IT"}}, .modo = "0"},
                  {.tasto = Qt::Key_Backspace, .modo = "4"},
                  {.tasto = Qt::Key_Tab, .fuoco = 1}});
        EXPECT_TRUE(d.DescTab->isVisible());
        EXPECT_FALSE(d.CodTab->isVisible());
        EXPECT_TRUE(d.Ldesc->isVisible());
        const QStringList tutte = Righe(d);
        ASSERT_EQ(tutte.size(), 4);
        EXPECT_TRUE(tutte[0].startsWith("GERMANIA")) << "sorted by description, not by code";
        EXPECT_TRUE(std::is_sorted(tutte.begin(), tutte.end()));
        ASSERT_TRUE(Passi(d, {{.scrivi = "GER", .modo = "1"}}));
        EXPECT_TRUE(d.Lista->item(0)->text().startsWith("GERMANIA"));
        EXPECT_TRUE(d.Lista->item(0)->text().endsWith(" - 276"));
        Premi(Qt::Key_Return);  // a Tab: leaving the box reads the first line
        EXPECT_EQ(d.Letta().Codice, "276");
        Premi(Qt::Key_Tab);
        Premi(Qt::Key_Tab);  // the empty description box again: back to the code
        Premi(Qt::Key_Backtab);
        d.cmdRt[0]->click();
    });
    // The full field moves on and its check converts it.
    Passi({{.tasto = Qt::Key_F4, .fuoco = 3, .campi = {{2, "DE"}}}});
    EXPECT_TRUE(eseguito);
}

TEST_P(GesTabTest, ListaConLaSelezioneEUnApostrofo) {
    {
        motore::Workspace ws(amb.Server());
        ws.OpenDatabase(amb.PercorsoTabelle())
            ->Esegui(
                "INSERT INTO NAZIONI VALUES ('300', 'GRECIA', 'GR'), ('30 ', 'ZETALANDIA', 'ZL'), "
                "('31', 'ZETAPOLI', 'ZP')");
    }
    Avvia();
    NuovoCliente();
    Avanza(2);
    NelModale<GesTab>([this](GesTab& d) {
        Passi(
            d,
            {{.tasto = Qt::Key_Backspace}, {.tasto = Qt::Key_Tab}, {.scrivi = "L'A", .modo = "0"}});
        EXPECT_TRUE(Testi().empty()) << "no SQL error";
        EXPECT_TRUE(d.TestoElenco().endsWith(
            "DESCRIZIONE BETWEEN 'L''A' and 'L''Azzz' ORDER BY DESCRIZIONE"));
        d.DescTab->setText("G");
        EXPECT_TRUE(d.cmdRt[1]->isVisible());
        Passi(d, {{.modo = "2"}, {.clic = 1, .fuoco = 2}});  // X SELEZIONA: the list
        EXPECT_EQ(d.Lista->currentRow(), 0);
        EXPECT_EQ(d.cmdRt[1]->text(), "&X RICERCA");
        EXPECT_EQ(d.Letta().Codice, "276") << "leaving the box read the first line";
        // X RICERCA: back to the box.
        Passi(d, {{.tasto = Qt::Key_X, .con = Qt::AltModifier, .fuoco = 1}});
        EXPECT_EQ(d.cmdRt[1]->text(), "&X SELEZIONA");
        // Reached from the list by Shift+Tab it reads X SELEZIONA, and does that.
        const Passo indietro{.tasto = Qt::Key_Tab, .con = Qt::ShiftModifier};
        Passi(d, {{.clic = 1, .fuoco = 2},
                  indietro,
                  indietro,
                  indietro,
                  {.tasto = Qt::Key_Space, .fuoco = 2}});
        EXPECT_EQ(d.cmdRt[1]->text(), "&X RICERCA");
        // A code stored with a blank after it ends its line as well: CONFERMA takes it.
        // (Enter in the list: finestra_reale.sh's LOOKUP B.)
        Passi(d, {{.tasto = Qt::Key_X, .con = Qt::AltModifier, .fuoco = 1}});
        d.DescTab->setText("ZETA");
        Passi(d, {{.clic = 1, .fuoco = 2}});
        d.cmdRt[0]->click();
        EXPECT_EQ(d.Scelta().Codice.trimmed(), "30");
    });
    Premi(Qt::Key_F4);
    EXPECT_TRUE(eseguito);
}

// A missing table is offered for retry. Past 1000 lines the operator is asked first, with no
// read of the table open meanwhile: another program writes it at once, also where a reader
// would hold it (a network folder's journal). No keeps the first 1000 lines; Yes reads the
// list whole, as it stands.
TEST_P(GesTabTest, TabellaMancanteEElencoLungo) {
    amb.IniNormale();
    Tabella("LUNGA", 1001);
    Tabella("MILLE", 1000);
    auto& env = g.EnvironmentSettings;
    env.Workspace = std::make_unique<motore::Workspace>(amb.Server());
    env.Workspace->ImpostaCartellaDiRete(true);
    env.CodeTablesDatabase = amb.ApriTabelle(*env.Workspace);
    g.Messaggi.Copione({Risposta::Riprova, Risposta::Annulla});
    {
        GesTab d(g, "NONCE");
        d.Carica();
        EXPECT_FALSE(d.TabAperta);
        ASSERT_EQ(g.Messaggi.Mostrati().size(), 2u) << "Retry asks again";
        EXPECT_EQ(g.Messaggi.Mostrati()[1].titolo, "ERRORE IN APERTURA TABELLA NONCE");
        EXPECT_TRUE(g.Messaggi.Mostrati()[1].testo.startsWith(
            QString::number(motore::ErrTabellaMancante) + ": "));
        d.Scarica();
    }
    motore::Workspace altroWs(amb.Server());
    altroWs.ImpostaCartellaDiRete(true);
    altroWs.ImpostaAttesaBlocco(100);
    auto altro = amb.ApriTabelle(altroWs);
    int scritte = 0;
    const struct {
        const char* tabella;
        Risposta risposta;
        int righe;
    } casi[] = {{"MILLE", Risposta::No, 1000},
                {"LUNGA", Risposta::No, 1000},
                {"LUNGA", Risposta::Si, 1003}};
    for (const auto& c : casi) {
        g.Messaggi = ServizioMessaggi();
        g.Messaggi.Copione({c.risposta});
        g.Messaggi.MentreAperto = [&](const Messaggio&) {
            altro->Esegui(QString("INSERT INTO LUNGA VALUES ('X%1', 'ULTIMA')").arg(scritte));
            ++scritte;
        };
        GesTab d(g, c.tabella);
        d.Carica();
        d.show();
        d.CodTab->setFocus();
        Attendi();
        ASSERT_EQ(d.Lista->count(), c.righe) << c.tabella;
        EXPECT_EQ(Testi().size(), c.tabella == QString("LUNGA") ? 1u : 0u);
        if (!Testi().empty()) {
            EXPECT_EQ(Testi()[0], "OLTRE 1000 ELEMENTI: ESTRAGGO TUTTO?");
        }
        EXPECT_EQ(d.CodTab->MaxLength(), 5);
        EXPECT_EQ(d.Lista->item(0)->text(), "C0000 - D0        ") << "padded to 5 and 10";
        if (c.risposta == Risposta::Si) {
            EXPECT_TRUE(d.Lista->item(c.righe - 1)->text().startsWith("X1 "));
        }
        d.Scarica();
    }
    EXPECT_EQ(scritte, 2) << "written while the question waited";

    // By description, No keeps the first 1000 descriptions, not the first 1000 codes: the
    // list still starts at the row closest to the text.
    g.Messaggi = ServizioMessaggi();
    g.Messaggi.Copione({Risposta::No, Risposta::No});
    GesTab d(g, "LUNGA");
    d.Carica();
    d.show();
    d.CodTab->setFocus();
    Attendi();
    Premi(Qt::Key_Tab);
    ASSERT_TRUE(d.DescTab->isVisible());
    const QStringList righe = Righe(d);
    ASSERT_EQ(righe.size(), 1000);
    EXPECT_TRUE(righe.contains("D1000      - C1000"));
    EXPECT_FALSE(righe.contains("D999       - C0999"));
    d.Scarica();
}

}  // namespace
