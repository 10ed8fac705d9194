#include "clients/EleCli.h"
#include "clients/Simili.h"
#include "data/Clienti.h"
#include "ui/Global.h"

#include "support/AmbienteProva.h"

#include <QListWidget>

#include <gtest/gtest.h>

namespace {

const QString kSelect =
    "SELECT CliCodice, CliRagSoc, CliIndirizzo, CliLocalita, CliProvincia, CliPartitaIva, "
    "CliCodiceFiscale FROM Clienti WHERE ";

class SimiliTest : public ::testing::TestWithParam<Motore> {
  protected:
    void SetUp() override { amb.ApriDatabase(g); }

    void Cliente(int codice, const QString& ragsoc, const QVariant& piva, const QVariant& cf,
                 const QVariant& indirizzo = {}, const QVariant& localita = {},
                 const QVariant& provincia = {}) {
        g.EnvironmentSettings.CompanyDatabase->Esegui(
            "INSERT INTO Clienti (CliCodice, CliRagsoc, CliPartitaIva, CliCodiceFiscale, "
            "CliIndirizzo, CliLocalita, CliProvincia) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
            {codice, ragsoc, piva, cf, indirizzo, localita, provincia});
    }

    int Elenco(QString chiave) {
        chiedi = false;
        return ElencoSimili(g, dlg, chiave, chiedi);
    }

    QStringList Righe() const {
        QStringList r;
        for (int i = 0; i < dlg.Lista1->count(); ++i) r << dlg.Lista1->item(i)->text();
        return r;
    }

    AmbienteProva amb{GetParam()};
    Global g;
    EleCli dlg{g};
    bool chiedi = false;
};
SU_OGNI_MOTORE(SimiliTest);

TEST(RigaSimile, ColonneFisse) {
    EXPECT_EQ(RigaSimile(7, "01234567890", "ROSSI SPA", "VIA ROMA 1", "MILANO", "MI"),
              "     7-01234567890-ROSSI SPA                      VIA ROMA 1           "
              "MILANO                         MI");
    // Nulls are empty, long texts are cut, the sort key and a long code keep their own width.
    const QString r = RigaSimile(1234567, "AB  ", QVariant(), QString(40, 'I'), QVariant(), "MIX");
    EXPECT_EQ(r, "123456-AB  -" + QString(30, ' ') + ' ' + QString(20, 'I') + ' ' +
                     QString(30, ' ') + " MI");
}

// The holders of a key: a numeric key among the VAT numbers, any other among the fiscal
// codes; long enough, an equality, else the start of one (its first word, blank included).
// An apostrophe stays a character of the literal.
TEST_P(SimiliTest, ChiaviEQuery) {
    Cliente(7, "ROSSI SPA", "01234567890 ", "RSSMRA80A01F205X", "VIA ROMA 1", "MILANO", "MI");
    Cliente(8, "BIANCHI SRL", "01234567899", QVariant());
    Cliente(10, "NERI SAS", "0123456789", QVariant());
    Cliente(4, "ROSSI LUCA", QVariant(), "RSSLCU75B02H501Y");
    Cliente(6, "D'ANGELO", QVariant(), "D'ANG");
    Cliente(9, "D'ANGELO MARIO", QVariant(), "D'NGLMRA85T10A5X");
    Cliente(11, "VERDI SRL", QVariant(), "01234567890");  // a company's, as its fiscal code
    const struct {
        const char* chiave;
        int escluso;
        int altri;
        const char* filtro;
        QStringList codici;  // the lines' codes, in the list's order
    } casi[] = {
        // clang-format off
        {"01234567890", 0, 2, "(CliPartitaIva = '01234567890' OR CliCodiceFiscale = "
         "'01234567890') ORDER BY CliPartitaIva", {"11", "7"}},
        {"0123456789", 0, 3, "CliPartitaIva BETWEEN '0123456789 ' AND '0123456789zzz' "
         "ORDER BY CliPartitaIva", {"10", "7", "8"}},
        {" 01234567 99", 0, 0, "CliPartitaIva BETWEEN '01234567  ' AND '01234567 zzz' "
         "ORDER BY CliPartitaIva", {}},
        {"RSSMRA80A01F205X", 0, 1, "CliCodiceFiscale = 'RSSMRA80A01F205X' ORDER BY "
         "CliCodiceFiscale", {"7"}},
        {"  RSS  ", 0, 2, "CliCodiceFiscale BETWEEN 'RSS ' AND 'RSSzzz' ORDER BY "
         "CliCodiceFiscale", {"4", "7"}},
        {"RSS MARIO", 0, 0, "CliCodiceFiscale BETWEEN 'RSS  ' AND 'RSS zzz' ORDER BY "
         "CliCodiceFiscale", {}},
        // Letters make a key a fiscal code whatever its digits.
        {"0123456789A", 0, 0, "CliCodiceFiscale BETWEEN '0123456789A ' AND '0123456789Azzz' "
         "ORDER BY CliCodiceFiscale", {}},
        // The client on the form is listed but not counted.
        {"RSSMRA", 7, 0, "CliCodiceFiscale BETWEEN 'RSSMRA ' AND 'RSSMRAzzz' ORDER BY "
         "CliCodiceFiscale", {"7"}},
        {"D'AN", 0, 1, "CliCodiceFiscale BETWEEN 'D''AN ' AND 'D''ANzzz' ORDER BY "
         "CliCodiceFiscale", {"6"}},
        {"X'OR'1'='1", 0, 0, "CliCodiceFiscale BETWEEN 'X''OR''1''=''1 ' AND "
         "'X''OR''1''=''1zzz' ORDER BY CliCodiceFiscale", {}},
        {"D'NGLMRA85T10A5X", 0, 1, "CliCodiceFiscale = 'D''NGLMRA85T10A5X' ORDER BY "
         "CliCodiceFiscale", {"9"}},
        // 16 characters before doubling: still an exact search.
        {"ABCDEFGHIJKLMN'P", 0, 0, "CliCodiceFiscale = 'ABCDEFGHIJKLMN''P' ORDER BY "
         "CliCodiceFiscale", {}},
        // clang-format on
    };
    for (const auto& c : casi) {
        ListaSimili l;
        ASSERT_FALSE(LeggiSimili(g, c.chiave, c.escluso, false, l)) << c.chiave;
        EXPECT_EQ(l.query, kSelect + c.filtro);
        EXPECT_EQ(l.altri, c.altri) << c.chiave;
        QStringList codici;
        for (const QString& r : l.righe) codici << r.left(6).trimmed();
        EXPECT_EQ(codici, c.codici) << c.chiave;
    }
    // The blank-padded stored value matches, and shows as stored.
    g.ClientRecord.CliCodice = 0;
    EXPECT_EQ(Elenco("01234567890"), 2);
    EXPECT_TRUE(chiedi);
    ASSERT_EQ(Righe().size(), 2);
    EXPECT_TRUE(Righe()[0].startsWith("    11-01234567890-VERDI SRL ")) << "as its fiscal code";
    EXPECT_EQ(Righe()[1],
              "     7-01234567890 -ROSSI SPA                      "
              "VIA ROMA 1           MILANO                         MI");
    EXPECT_TRUE(g.Messaggi.Mostrati().empty());
}

// Past 200 holders the operator is asked, once, and no read is open while the question
// waits: another program writes the table at once, also where a reader would hold it (a
// network folder's journal). Yes reads the list again whole, as it stands; No keeps 200.
TEST_P(SimiliTest, ElencoLungoChiedeUnaVolta) {
    auto& env = g.EnvironmentSettings;
    env.CompanyDatabase.reset();
    env.CodeTablesDatabase.reset();
    env.Workspace = std::make_unique<motore::Workspace>(amb.Server());
    env.Workspace->ImpostaCartellaDiRete(true);
    env.CompanyDatabase = amb.ApriDitta(*env.Workspace);
    int i = 0;
    env.Workspace->BeginTrans();
    env.CompanyDatabase->Carica(
        "Clienti", {"CliCodice", "CliRagsoc", "CliPartitaIva"}, [&](QVariantList& v) {
            if (i++ == 250) return false;
            v = {i, QString("CLIENTE %1").arg(i), QString("0123456%1").arg(i, 4, 10, QChar('0'))};
            return true;
        });
    env.Workspace->CommitTrans();
    motore::Workspace altroWs(amb.Server());
    altroWs.ImpostaCartellaDiRete(true);
    altroWs.ImpostaAttesaBlocco(100);
    auto altro = amb.ApriDitta(altroWs);
    g.Messaggi.MentreAperto = [&](const Messaggio&) {
        altro->Esegui(
            "INSERT INTO Clienti (CliCodice, CliRagsoc, CliPartitaIva) VALUES "
            "(999, 'ULTIMO', '01234569999')");
    };
    g.Messaggi.Copione({Risposta::Si});
    EXPECT_EQ(Elenco("0123456"), 251) << "read again whole, as it stands";
    EXPECT_EQ(Righe().size(), 251);
    EXPECT_FALSE(chiedi);
    ASSERT_EQ(g.Messaggi.Mostrati().size(), 1u);
    const Messaggio& m = g.Messaggi.Mostrati()[0];
    EXPECT_EQ(m.testo, "OLTRE 200 CLIENTI: ESTRAGGO TUTTO?");
    EXPECT_EQ(m.titolo, "ELENCO LUNGO");
    EXPECT_EQ(m.pulsanti, Pulsanti::SiNo);
    EXPECT_EQ(m.icona, Icona::Domanda);

    g.Messaggi.MentreAperto = nullptr;
    g.Messaggi.AzzeraMostrati();
    g.Messaggi.Copione({Risposta::No});
    EXPECT_EQ(Elenco("0123456"), 201);
    EXPECT_EQ(Righe().size(), 200);
    EXPECT_EQ(Righe().back().left(6), "   200");
    EXPECT_TRUE(chiedi);
    EXPECT_EQ(g.Messaggi.Mostrati().size(), 1u);
}

TEST_P(SimiliTest, QueryImpossibileLasciaLaLista) {
    g.EnvironmentSettings.CompanyDatabase.reset();
    const QString altra = amb.SulServer() ? QString("altra") : amb.Radice() + "altra.mdb";
    amb.CreaDitta(altra, false);
    g.EnvironmentSettings.CompanyDatabase = g.EnvironmentSettings.Workspace->OpenDatabase(altra);

    dlg.Lista1->addItem("vecchia");
    EXPECT_EQ(Elenco("0123"), 0);
    EXPECT_EQ(Righe(), QStringList{"vecchia"});
    EXPECT_FALSE(chiedi);
    g.ClientRecord.CliCodice = 1;
    EXPECT_EQ(CercaOmonimi(g, "ROSSI"), 0);
    // The checks did not run, and say so: a duplicate must not pass for a new client.
    ASSERT_EQ(g.Messaggi.Mostrati().size(), 2u);
    for (const Messaggio& m : g.Messaggi.Mostrati())
        EXPECT_TRUE(m.testo.startsWith("ERRORE NELLA TABELLA CLIENTI\n")) << m.testo.toStdString();
}

TEST_P(SimiliTest, CercaOmonimi) {
    Cliente(12, "ROSSI SPA", QVariant(), QVariant());
    Cliente(20, "ROSSI SPA ", QVariant(), QVariant());
    Cliente(30, "ROSSI SPA ALTRA", QVariant(), QVariant());
    Cliente(40, "ROSSI SPA", QVariant(), QVariant());
    Cliente(50, "L'ALBA", QVariant(), QVariant());

    g.ClientRecord.CliCodice = 20;
    EXPECT_EQ(CercaOmonimi(g, "  ROSSI SPA  "), 40);
    EXPECT_EQ(g.QueryText,
              "SELECT CliCodice, CliRagSoc FROM Clienti WHERE (CliRagSoc = "
              "'ROSSI SPA')");
    EXPECT_EQ(g.MessageTitle, "CLIENTE GIA' ESISTENTE!\ncodice = 12\ncodice = 40");

    EXPECT_EQ(CercaOmonimi(g, "L'ALBA"), 50);
    EXPECT_TRUE(g.QueryText.endsWith("(CliRagSoc = 'L''ALBA')"));

    g.ClientRecord.CliCodice = 50;
    EXPECT_EQ(CercaOmonimi(g, "L'ALBA"), 0);
    EXPECT_EQ(g.MessageTitle, "CLIENTE GIA' ESISTENTE!");

    g.QueryText = "prima";
    EXPECT_EQ(CercaOmonimi(g, "   "), 0);
    EXPECT_EQ(g.QueryText, "prima");
    EXPECT_TRUE(g.Messaggi.Mostrati().empty());
}

}  // namespace
