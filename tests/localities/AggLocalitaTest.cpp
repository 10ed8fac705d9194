#include "localities/AggLocalita.h"

#include "app/CasellaTesto.h"
#include "lookup/GesTab.h"
#include "support/ModuloClientiTest.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace {

class AggLocalitaTest : public ModuloClientiTest {
  protected:
    void Prepara() {
        amb.CreaLocalita();
        Avvia();
    }
    // Runs `passi` in the localities form opened with these slots, as a caller would; the
    // form is closed after them if they left it open.
    LocalitaScelta NelleLocalita(const QString& cap, const QString& localita,
                                 std::function<void(AggLocalita&)> passi) {
        NelModale<AggLocalita>([passi](AggLocalita& d) {
            passi(d);
            if (!d.Scaricato()) d.Scarica();
        });
        const LocalitaScelta scelta = AggLocalita::Apri(g, cap, localita, form.get());
        EXPECT_TRUE(eseguito);
        return scelta;
    }
    static QString Testo(const LocalitaScelta& s) {
        return s.Cap + "|" + s.Localita + "|" + s.Provincia;
    }
    QString Tabelle(const QString& sql) { return amb.Leggi(sql, true); }
    // Province, prefix and region of a row, the last two quoted or NULL.
    static QString SqlRiga(const QString& localita, const QString& cap) {
        return "SELECT LocProvincia || '|' || coalesce('''' || LocPrefisso || '''', 'NULL') || "
               "'|' || coalesce('''' || LocRegione || '''', 'NULL') FROM LOCALITA WHERE "
               "rtrim(LocLocalita) = '" +
               localita + "' AND rtrim(LocCAP) = '" + cap + "'";
    }
    QString Riga(const QString& localita, const QString& cap) {
        return Tabelle(SqlRiga(localita, cap));
    }
    // The localities form to the walks' runner: 0 the locality, 1 the CAP, 2 the province,
    // 3 the prefix, 4 the region, 5 the province's name; buttons 0 to 3, then 4 next and 5
    // previous; the mode its title; the code tables' data.
    using ModuloClientiTest::Passi;
    bool Passi(AggLocalita& d, const std::vector<Passo>& passi) {
        return Percorri(
            g.Messaggi,
            {Campi({d.Cod1, d.Btxt(1), d.Btxt(2), d.Btxt(3), d.Combo1, d.DesProv}),
             [&d](int i) -> QAbstractButton* { return i < 4 ? d.Cmdv(i) : d.Muoviti(i - 4); },
             [&d] { return d.windowTitle(); }, [this](const QString& sql) { return Tabelle(sql); }},
            passi);
    }
    int Righe(const QString& localita) {
        return Tabelle("SELECT count(*) FROM LOCALITA WHERE rtrim(LocLocalita) = '" + localita +
                       "'")
            .toInt();
    }
    // Types a locality and leaves its box.
    void Cerca(const QString& nome) {
        Scrivi(nome);
        Premi(Qt::Key_Return);
    }
    static bool Visibile(QWidget* w) { return w->isVisibleTo(w->window()); }
};
SU_OGNI_MOTORE(AggLocalitaTest);

const QString kGestione = "GESTIONE DELLE LOCALITA' ITALIANE", kVariazione = "VARIAZIONE LOCALITA'";

TEST_P(AggLocalitaTest, RomMostraLaPrimaRomaEUnNomeCheNonCeSiInserisce) {
    Prepara();
    const QString prima = Tabelle(
        "SELECT LocLocalita || '|' || LocCAP FROM LOCALITA WHERE LocLocalita >= 'ROM' "
        "ORDER BY LocLocalita, LocCAP LIMIT 1");
    ASSERT_EQ(prima, "ROMA|00118");
    const LocalitaScelta scelta = NelleLocalita("", "", [this](AggLocalita& d) {
        EXPECT_TRUE(Visibile(d.Muoviti(0)));
        EXPECT_FALSE(Visibile(d.Cmdv(1)));
        // clang-format off
        Passi(d, {
            {.fuoco = 0, .campi = {{2, "  "}}},
            // Reached by Shift+Tab, "+ >" is no leaving of the box: no search, no message.
            {.scrivi = "rom", .tasto = Qt::Key_Tab, .con = Qt::ShiftModifier, .messaggi = 0,
             .modo = kGestione},
            {.tocca = 0, .sopra = true},
            {.scrivi = "rom", .tasto = Qt::Key_Return, .messaggi = 0, .fuoco = 4,
             .campi = {{0, "ROMA"}, {1, "00118"}, {2, "RM"}, {5, "ROMA"},
                       {3, " "} /* a null prefix */, {4, "LAZIO"}},
             .modo = kVariazione},
        });
        EXPECT_FALSE(d.Cod1->isEnabled());
        EXPECT_TRUE(Visibile(d.Cmdv(2)));
        EXPECT_FALSE(Visibile(d.Muoviti(0)));
        Premi(Qt::Key_F4);
        EXPECT_TRUE(d.Combo1->view()->isVisible()) << "F4 is the region list's own";
        d.Combo1->hidePopup();
        Attendi();
        // The box offers the last search again.
        std::vector<Passo> passi = {
            {.clic = 3, .fuoco = 0, .campi = {{0, "ROM"}}, .modo = kGestione}};
        // After every locality, and a name that only sorts among others.
        for (const QString nome : {"ZZZZ", "ROMAX"})
            passi.push_back({.risposta = Risposta::No, .scrivi = nome, .tasto = Qt::Key_Return,
                             .messaggio = "LOCALITA' INESISTENTE: INSERISCI",
                             .titolo = "KESTOR - INSERIMENTO", .pulsanti = Pulsanti::SiNo,
                             .predefinito = 1 /* No */, .messaggi = 1, .fuoco = 0});
        passi.push_back({.tasto = Qt::Key_Backspace, .messaggi = 0});
        passi.push_back({.tasto = Qt::Key_Return, .messaggio = "INDICARE UNA LOCALITA'",
                         .titolo = "KESTOR - CODICE", .messaggi = 1, .fuoco = 0});
        // Yes inserts it: region, CAP (digits only, the fifth moves on), province. Its
        // captions: finestra_reale.sh's locality saved by keys alone.
        passi.push_back({.risposta = Risposta::Si, .scrivi = "nuova localita",
                         .tasto = Qt::Key_Return,
                         .messaggio = "LOCALITA' INESISTENTE: INSERISCI", .messaggi = 1, .fuoco = 4,
                         .campi = {{1, ""}}});
        Passi(d, passi);
        EXPECT_FALSE(d.Cod1->isEnabled());
        EXPECT_TRUE(Visibile(d.Cmdv(1)));
        EXPECT_FALSE(Visibile(d.Cmdv(2)));
        EXPECT_TRUE(Visibile(d.Cmdv(3)));
        d.Combo1->setCurrentIndex(d.Combo1->findText("LAZIO"));
        Passi(d, {
            {.tasto = Qt::Key_Return, .messaggi = 0, .fuoco = 1},
            {.scrivi = "12x345", .messaggi = 0, .fuoco = 2 /* the fifth digit moves on */,
             .campi = {{1, "12345"}}},  // letters are dropped from the CAP
            {.scrivi = "rm", .messaggi = 0, .fuoco = 3 /* the second letter moves on */,
             .campi = {{2, "RM"}, {5, "ROMA"}}},
            {.tasto = Qt::Key_C, .con = Qt::AltModifier, .messaggi = 0, .fuoco = 0,
             .campi = {{0, "NUOVA LOCALITA"}}, .sql = SqlRiga("NUOVA LOCALITA", "12345"),
             .letto = "RM|' '|'LAZ'"},
        });
        // clang-format on
    });
    EXPECT_EQ(Testo(scelta), "||") << "on its own, nothing goes back";
}

TEST_P(AggLocalitaTest, UnCapCambiatoAggiungeUnaRigaPoiVariaEdElimina) {
    Prepara();
    const int roma = Righe("ROMA");
    NelleLocalita("", "", [&](AggLocalita& d) {
        Cerca("ROMA");
        d.Combo1->setCurrentIndex(0);
        NelModale<GesTab>([this](GesTab& t) {
            EXPECT_EQ(t.CodTab->text(), "M");
            Premi(Qt::Key_C, Qt::AltModifier);
        });
        // clang-format off
        Passi(d, {
            {.tasto = Qt::Key_Return, .fuoco = 1},
            {.scrivi = "00999", .fuoco = 2},
            {.scrivi = "m", .tasto = Qt::Key_F4, .campi = {{2, "MI"}, {5, "MILANO"}}},
            {.clic = 1, .campi = {{0, "ROMA"}}, .sql = SqlRiga("ROMA", "00118"),
             .letto = "RM|NULL|'LAZ'"},
        });
        EXPECT_TRUE(eseguito);
        EXPECT_EQ(Righe("ROMA"), roma + 1);
        EXPECT_EQ(Riga("ROMA", "00999"), "MI|' '|''") << "no region stores an empty text";
        // The same key changes the row in place.
        Passi(d, {
            {.tasto = Qt::Key_Return}, {.tasto = Qt::Key_Return}, {.tasto = Qt::Key_Return},
            {.tasto = Qt::Key_Return, .fuoco = 3},
            {.scrivi = "06", .clic = 1, .sql = SqlRiga("ROMA", "00118"),
             .letto = "RM|'06'|'LAZ'"},
        });
        EXPECT_EQ(Righe("ROMA"), roma + 1);
        EXPECT_TRUE(Testi().empty());
        // ELIMINA asks first; then the form is back on the name, which finds the next CAP.
        Passi(d, {
            {.tasto = Qt::Key_Return, .campi = {{1, "00118"}}},
            {.risposta = Risposta::No, .clic = 2,
             .messaggio = "CONFERMI LA CANCELLAZIONE DELLA LOCALITA'",
             .titolo = "KESTOR - ELIMINAZIONE", .predefinito = 1, .messaggi = 1,
             .sql = SqlRiga("ROMA", "00118"), .letto = "RM|'06'|'LAZ'"},
            // A CAP typed over the one read names no row: nothing deleted, nothing more said.
            {.risposta = Risposta::Si, .tocca = 1, .sopra = true, .scrivi = "00099", .clic = 2,
             .messaggi = 1, .fuoco = 0, .modo = kGestione, .sql = SqlRiga("ROMA", "00118"),
             .letto = "RM|'06'|'LAZ'"},
            {.tasto = Qt::Key_Return, .campi = {{1, "00118"}}},
            {.risposta = Risposta::Si, .clic = 2, .fuoco = 0, .campi = {{0, "ROMA"}},
             .modo = kGestione, .sql = SqlRiga("ROMA", "00118"), .letto = ""},
            {.tasto = Qt::Key_Return, .campi = {{1, "00119"}}},
        });
        // clang-format on
    });
}

// Another operator changes or deletes the row on show: asked before it is overwritten, never
// brought back, and nothing held while the question waits.
TEST_P(AggLocalitaTest, UnaLocalitaCambiataOCancellataDaAltri) {
    Prepara();
    // The other operator: a program of its own, which a lock held here would stop.
    auto Altro = [&](const QString& sql) {
        ASSERT_EQ(AltroProgramma(sql, true), 0) << sql.toStdString();
    };
    const QString roma = " WHERE LocLocalita = 'ROMA' AND LocCAP = '00118'";
    NelleLocalita("", "", [&](AggLocalita& d) {
        Cerca("ROMA");
        Altro("UPDATE LOCALITA SET LocPrefisso = '06'" + roma);
        d.Btxt(2)->setText("MI");
        g.Messaggi.MentreAperto = [&](const Messaggio&) {
            Altro("UPDATE LOCALITA SET LocRegione = 'TOS'" + roma);
        };
        // No: the row as stored now, written meanwhile without waiting for this form.
        // clang-format off
        Passi(d, {{.risposta = Risposta::No, .clic = 1,
                   .messaggio = "LOCALITA' MODIFICATA DA UN ALTRO UTENTE: SOVRASCRIVO ?",
                   .titolo = "KESTOR - VARIAZIONE", .pulsanti = Pulsanti::SiNo, .predefinito = 1,
                   .messaggi = 1, .campi = {{2, "RM"}, {3, "06"}}, .modo = kVariazione,
                   .sql = SqlRiga("ROMA", "00118"), .letto = "RM|'06'|'TOS'"}});
        g.Messaggi.MentreAperto = nullptr;
        // Read again: saved without a question; then Yes over a new change.
        d.Btxt(3)->setText("066");
        Passi(d, {{.clic = 1, .messaggi = 0, .sql = SqlRiga("ROMA", "00118"),
                   .letto = "RM|'066'|'TOS'"},
                  {.scrivi = "ROMA", .tasto = Qt::Key_Return}});
        Altro("UPDATE LOCALITA SET LocPrefisso = '07'" + roma);
        d.Btxt(3)->setText("08");
        Passi(d, {{.risposta = Risposta::Si, .clic = 1, .messaggi = 1},
                  {.scrivi = "ROMA", .tasto = Qt::Key_Return}});
        // Deleted meanwhile: said, and not brought back by a save or "deleted" again.
        Altro("DELETE FROM LOCALITA" + roma);
        Passi(d, {{.clic = 1, .messaggio = "LOCALITA' CANCELLATA DA UN ALTRO UTENTE",
                   .titolo = "KESTOR - ELIMINAZIONE", .modo = kGestione},
                  // The next ROMA.
                  {.scrivi = "ROMA", .tasto = Qt::Key_Return, .campi = {{1, "00119"}}}});
        Altro("DELETE FROM LOCALITA WHERE LocLocalita = 'ROMA' AND LocCAP = '00119'");
        Passi(d, {{.risposta = Risposta::Si, .clic = 2,
                   .messaggio = "LOCALITA' CANCELLATA DA UN ALTRO UTENTE",
                   .modo = kGestione}});
        // clang-format on
    });
}

TEST_P(AggLocalitaTest, LoScorrimentoSiFermaAiDueCapi) {
    Prepara();
    auto Estremo = [this](const char* verso) {
        return Tabelle(QString("SELECT LocLocalita || '|' || LocCAP FROM LOCALITA ORDER BY "
                               "LocLocalita %1, LocCAP %1 LIMIT 1")
                           .arg(verso))
            .split('|');
    };
    const QStringList prima = Estremo("ASC"), ultima = Estremo("DESC");
    NelleLocalita("", "", [&](AggLocalita& d) {
        const std::vector<std::pair<int, QString>> primi = {{0, prima[0]}, {1, prima[1]}},
                                                   ultimi = {{0, ultima[0]}, {1, ultima[1]}};
        // From the empty form, the first locality; at either end paging stays there, and
        // leaving for a browse button checks nothing.
        Passi(d, {{.clic = 4, .campi = primi},
                  {.clic = 5, .campi = primi},
                  {.clic = 3},
                  {.scrivi = ultima[0], .clic = 4, .campi = ultimi},
                  {.clic = 4, .campi = ultimi}});
        EXPECT_TRUE(Visibile(d.Muoviti(1))) << "paging keeps the buttons";
        EXPECT_TRUE(Testi().empty());
    });
}

TEST_P(AggLocalitaTest, RegioniTastiEControlliDeiCampi) {
    Prepara();
    NelleLocalita("", "", [this](AggLocalita& d) {
        ASSERT_EQ(d.Combo1->count(), 21) << "a blank, then the regions";
        // clang-format off
        Passi(d, {
            {.scrivi = "GENOVA", .tasto = Qt::Key_Return,
             .campi = {{4, "LIGURIA"}, {5, ""} /* GE is not among the test provinces */}},
            {.tasto = Qt::Key_Return, .fuoco = 1},
            {.tasto = Qt::Key_Up, .fuoco = 3},  // from the CAP to the prefix
            {.scrivi = "0a1", .campi = {{3, "01"}}},
            {.tasto = Qt::Key_Down, .fuoco = 1},  // from the prefix to the CAP
            {.scrivi = "1612", .tasto = Qt::Key_Return,
             .messaggio = "C.A.P. FORMALMENTE ERRATO O NON INDICATO",
             .titolo = "KESTOR - ERRORE N. 1", .icona = Icona::Critica, .messaggi = 1, .fuoco = 1},
            {.scrivi = "16121", .messaggi = 0, .fuoco = 2},
            {.scrivi = "xx", .messaggio = "PROVINCIA INESISTENTE", .titolo = "KESTOR - ERRORE N. 2",
             .messaggi = 1, .fuoco = 2},
            // ANNULLA leaves the box unchecked.
            {.tasto = Qt::Key_A, .con = Qt::AltModifier, .messaggi = 0, .fuoco = 0,
             .sql = SqlRiga("GENOVA", "16121"), .letto = "GE|NULL|'LIG'"},
        });
        // clang-format on
        EXPECT_EQ(g.Messaggi.Mostrati().size(), 2u) << "none before the CAP's";
    });
}

// Opened from the client form, CONFERMA hands back only a CAP of five figures and a
// province of the table, even pressed with the mouse (no box is left).
TEST_P(AggLocalitaTest, DallAnagraficaConfermaControllaCapEProvinciaEUscitaNonRestituisceNulla) {
    Prepara();
    const LocalitaScelta scelta = NelleLocalita("", "PIEVE NUOVA", [this](AggLocalita& d) {
        const QString nessuna =
            "SELECT count(*) FROM LOCALITA WHERE rtrim(LocLocalita) = 'PIEVE NUOVA'";
        // clang-format off
        Passi(d, {
            {.risposta = Risposta::Si, .tasto = Qt::Key_Return,
             .modo = "INSERIMENTO LOCALITA' ITALIANE"},
            {.tasto = Qt::Key_Return},
            {.clic = 1, .messaggio = "C.A.P. FORMALMENTE ERRATO O NON INDICATO", .messaggi = 1,
             .fuoco = 1, .sql = nessuna, .letto = "0"},
            {.scrivi = "12345", .fuoco = 2},
            {.scrivi = "x", .clic = 1, .messaggio = "PROVINCIA INESISTENTE", .messaggi = 1,
             .fuoco = 2, .sql = nessuna, .letto = "0"},
        });
        // clang-format on
        EXPECT_FALSE(d.Scaricato());
        Passi(d, {{.scrivi = "rm", .clic = 1}});
        EXPECT_TRUE(d.Scaricato());
    });
    EXPECT_EQ(Riga("PIEVE NUOVA", "12345"), "RM|' '|''");
    EXPECT_EQ(Testo(scelta), "12345|PIEVE NUOVA|RM");
}

// From the client form, F4 on an empty CAP opens with "." and USCITA writes nothing. (F4 on
// a locality confirming CAP, locality and province, and Ctrl+Shift+L opening the form on
// its own: finestra_reale.sh.)
TEST_P(AggLocalitaTest, DalModuloClientiUscitaNonScriveNulla) {
    Prepara();
    NuovoCliente();
    Avanza(7);
    NelModale<AggLocalita>([this](AggLocalita& d) {
        EXPECT_TRUE(d.DaAnagrafica);
        EXPECT_EQ(d.Btxt(1)->text(), ".");
        Premi(Qt::Key_U, Qt::AltModifier);
    });
    Premi(Qt::Key_F4);
    EXPECT_TRUE(eseguito);
    EXPECT_EQ(Txt(7)->text() + Txt(8)->text() + Txt(9)->text(), "") << "USCITA writes nothing";
}

TEST_P(AggLocalitaTest, UnaScritturaCheFallisceTornaIndietroETieneIlModulo) {
    Prepara();
    g.EnvironmentSettings.Workspace->ImpostaAttesaBlocco(50);
    motore::Workspace altroWs(amb.Server());
    auto altro = altroWs.OpenDatabase(amb.PercorsoTabelle());
    NelleLocalita("", "", [&](AggLocalita& d) {
        const QString guasto = "Errore in scrittura: operazione impossibile";
        // clang-format off
        Passi(d, {{.scrivi = "ROMA", .tasto = Qt::Key_Return}, {.tasto = Qt::Key_Return},
                  {.scrivi = "00998"}});
        altro->Esegui(amb.SqlBloccoScrittura("LOCALITA"));
        // The form stays as it was.
        ASSERT_TRUE(Passi(d, {{.clic = 1, .icona = Icona::Critica, .messaggi = 1,
                   .campi = {{1, "00998"}, {0, "ROMA"}}, .modo = kVariazione}}));
        const Messaggio& m = g.Messaggi.Mostrati()[0];
        EXPECT_TRUE(m.testo.startsWith(guasto + "\n"));
        EXPECT_TRUE(m.titolo.startsWith("KESTOR - ERRORE N. "));
        EXPECT_FALSE(g.EnvironmentSettings.Workspace->InTransazione());
        altro->Esegui("COMMIT");
        // The same form saves once it can.
        Passi(d, {{.sql = SqlRiga("ROMA", "00998"), .letto = ""},
                  {.clic = 1, .messaggi = 0, .sql = SqlRiga("ROMA", "00998"),
                   .letto = "RM|' '|'LAZ'"},
                  {.tasto = Qt::Key_Return, .campi = {{1, "00118"}}}});
        altro->Esegui(amb.SqlBloccoScrittura("LOCALITA"));
        ASSERT_TRUE(Passi(d, {{.risposta = Risposta::Si, .clic = 2, .messaggi = 2,
                               .campi = {{1, "00118"}}, .modo = kVariazione}}));
        // clang-format on
        EXPECT_TRUE(g.Messaggi.Mostrati().back().testo.startsWith(guasto));
        altro->Esegui("COMMIT");
        EXPECT_EQ(Riga("ROMA", "00118"), "RM|NULL|'LAZ'") << "a failed delete keeps the row";
    });
}

TEST_P(AggLocalitaTest, SenzaTabellaIlModuloSiMostraMaNonCercaNeScrive) {
    Avvia();
    g.Messaggi.Copione({Risposta::Riprova, Risposta::Annulla});
    NelleLocalita("", "", [this](AggLocalita& d) {
        ASSERT_EQ(g.Messaggi.Mostrati().size(), 2u) << "Retry opens again";
        for (const Messaggio& m : g.Messaggi.Mostrati()) {
            EXPECT_EQ(m.titolo, "ERRORE IN APERTURA TABELLA LOCALITA'");
            EXPECT_EQ(m.pulsanti, Pulsanti::RiprovaAnnulla);
        }
        EXPECT_TRUE(d.isVisible());
        EXPECT_FALSE(d.Cod1->isEnabled());
        EXPECT_FALSE(Visibile(d.Cmdv(1)));
        EXPECT_FALSE(Visibile(d.Muoviti(0)));
        Clicca(d.Cmdv(0));
        EXPECT_TRUE(d.Scaricato());
    });
}

}  // namespace
