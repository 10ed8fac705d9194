#pragma once

// What the engine's tests share: a small database (localities and clients, three of them
// stored blank-padded as the program stores them) made afresh for each test, on the files
// and, when there is one, on the test server.

#include "engine/Motore.h"

#include "support/AmbienteProva.h"

#include <gtest/gtest.h>

#include <functional>

// The number of the Errore `f` raises; 0 when it raises none.
inline int NumeroErrore(const std::function<void()>& f) {
    try {
        f();
    } catch (const motore::Errore& e) {
        return e.Numero();
    }
    return 0;
}

class MotoreTest : public ::testing::TestWithParam<Motore> {
  protected:
    void SetUp() override {
        using motore::TipoIndice;
        percorso = amb.SulServer() ? QString("prova") : amb.Radice() + "prova.mdb";
        auto db = ws.CreaDatabase(percorso);
        db->CreaTabella("LOCALITA", {{"LocLocalita", 50, true},
                                     {"LocCAP", 5, true},
                                     {"LocProvincia", 2},
                                     {"LocPrefisso", 5}});
        db->CreaIndice("LOCALITA", "primaria", {"LocLocalita", "LocCAP"}, TipoIndice::Unico);
        db->CreaTabella("Clienti", {{"CliCodice", 0, true},
                                    {"CliRagsoc", 35},
                                    {"CliPartitaIva", 12},
                                    {"CliEsenzioneDat", 0}});
        db->CreaIndice("Clienti", "primaria", {"CliCodice"}, TipoIndice::Unico);
        db->CreaIndice("Clienti", "CliPartitaIva", {"CliPartitaIva"}, TipoIndice::Normale);
        const char* localita[][3] = {{"ROMA", "00118", "RM"},
                                     {"ROMA", "00199", "RM"},
                                     {"ROMANO", "24058", "BG"},
                                     {"MILANO", "20121", "MI"},
                                     {"BARI", "70121", "BA"}};
        for (auto& l : localita)
            db->Esegui("INSERT INTO LOCALITA VALUES (?1, ?2, ?3, NULL)", {l[0], l[1], l[2]});
        db->Esegui("INSERT INTO Clienti VALUES (3, 'ROSSI SPA', '01234567890 ', 36892)");
        db->Esegui("INSERT INTO Clienti VALUES (7, 'L''ALBA', '0123456789  ', NULL)");
        db->Esegui("INSERT INTO Clienti VALUES (12, 'ROSSI SPA', 'DE123       ', 0)");
    }

    std::unique_ptr<motore::Database> Apri() { return ws.OpenDatabase(percorso); }
    // Clients from `da` to `a` - 1, named by their codes, in one transaction.
    void AggiungiClienti(motore::Database& db, int da, int a) {
        ws.BeginTrans();
        db.Carica("Clienti", {"CliCodice", "CliRagsoc"}, [&](QVariantList& v) {
            if (da == a) return false;
            v = {da, QString("CLIENTE NUMERO %1").arg(da++)};
            return true;
        });
        ws.CommitTrans();
    }

    AmbienteProva amb{GetParam()};
    QString percorso;
    motore::Workspace ws{amb.Server()};
};
