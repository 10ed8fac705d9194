// What the hooks open: the localities form on its own, the export of a form's grid.

#include "avvio/Ganci.h"

#include "localities/AggLocalita.h"
#include "search/Esporta.h"
#include "search/Griglia.h"
#include "ui/Global.h"

void InstallaGanci(Global& g) {
    g.ApriLocalita = [&g](QWidget* chiamante) {
        AggLocalita::Apri(g, QString(), QString(), chiamante);
    };
    g.EsportaGriglia = [&g](QWidget& griglia, const QString& nomeForm) {
        if (auto* gr = qobject_cast<Griglia*>(&griglia)) EsportaGriglia(g, *gr, nomeForm);
    };
}
