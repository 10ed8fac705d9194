#include "Importa.h"
#include "Setup.h"
#include "search/ChkCliC.h"
#include "support/ModuloClientiTest.h"

#include <QDir>
#include <QFile>

namespace {

// The export's file and the import's: on files, whichever engine the rows came from.
class RitornoTest : public ModuloClientiTest {};
INSTANTIATE_TEST_SUITE_P(Motori, RitornoTest, ::testing::Values(Motore::File), NomeMotore);

// A search exported from the real form and imported into an empty company: the ten columns
// the export carries come back as they were stored.
TEST_P(RitornoTest, EsportazioneImportataTornaUguale) {
    QFile::remove(amb.PercorsoDitta());
    QFile::remove(amb.PercorsoTabelle());
    setup::CreaTabelle(amb.PercorsoTabelle());
    setup::CreaAzienda(amb.PercorsoDitta(), 300);
    {
        motore::Workspace ws;
        amb.ApriDitta(ws)->Esegui(
            "UPDATE Clienti SET CliRagsoc = 'CAFFÈ DELL''ANGOLO \"2\"' WHERE CliCodice = 7");
    }
    Avvia();
    QDir().mkpath(amb.Radice() + "tmp");
    QFile ini(amb.FileIni());
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("[APPLICATIVI]\nExcel=/bin/true\n");
    ini.close();

    ChkCliC ricerca(g, form.get());
    ricerca.Carica();
    ricerca.EseguiRicerca();
    ricerca.cmdExcel->click();
    ricerca.Scarica();
    const QString csv = amb.Radice() + "tmp/E_ChkCliC.csv";
    ASSERT_TRUE(QFile::exists(csv));

    const QString nuova = amb.Radice() + "02/Completo.mdb";
    QDir().mkpath(amb.Radice() + "02");
    setup::CreaAzienda(nuova, 0);
    motore::Workspace ws;
    auto ditta = ws.OpenDatabase(nuova);
    auto tabelle = ws.OpenDatabase(amb.PercorsoTabelle());
    const setup::EsitoImport e = setup::ImportaClienti(ws, *ditta, *tabelle, csv);
    EXPECT_EQ(e.forma,
              "l'esportazione del programma (intestazioni della griglia di ricerca), "
              "separatore ';', Windows-1252");
    EXPECT_EQ(e.importate, 300);
    EXPECT_EQ(e.scartate, 0);
    ditta->Close();

    const QString dieci =
        "SELECT CliCodice, CliRagsoc, CliIndirizzo, CliCap, CliLocalita, CliProvincia, "
        "CliNazione, CliTelefono, CliPartitaIva, CliCodiceFiscale FROM Clienti ORDER BY 1";
    const QString prima = Leggi(dieci);
    EXPECT_TRUE(prima.contains("CAFFÈ DELL'ANGOLO \"2\""));
    EXPECT_EQ(Sqlite3(nuova, dieci), prima);
}

}  // namespace
