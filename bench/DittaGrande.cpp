#include "DittaGrande.h"

#include "Setup.h"
#include "engine/Motore.h"
#include "data/Clienti.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

QString PercorsoDitta() {
    const QString cartella = QDir::currentPath() + "/bench-data";
    const QString percorso = cartella + QString("/Completo-%1.mdb").arg(kClienti);
    if (!QFile::exists(percorso)) {
        QDir().mkpath(cartella);
        std::fprintf(stderr, "generating %lld clients in %s...\n", kClienti, qPrintable(percorso));
        setup::CreaAzienda(percorso, kClienti);
    }
    return percorso;
}

}  // namespace

Ditta::Ditta() {
    auto& env = g.EnvironmentSettings;
    env.CompanyCode = "01";
    env.EnvironmentFile = QDir::currentPath() + "/bench-data/KestorEx.ini";
    env.Workspace = std::make_unique<motore::Workspace>();
    env.CompanyDatabase = env.Workspace->OpenDatabase(PercorsoDitta());
    ApriClienti(g);
}

motore::Database& Ditta::db() {
    return *g.EnvironmentSettings.CompanyDatabase;
}

Ditta& LaDitta() {
    static Ditta d;
    return d;
}

void MostraPiano(motore::Database& db, const char* nome, const QString& sql, bool nativo) {
    std::fprintf(stderr, "%s\n  %s\n", nome, qPrintable(sql));
    if (nativo) {
        for (const auto& r : db.Righe("EXPLAIN QUERY PLAN " + sql))
            std::fprintf(stderr, "  -> %s\n", qPrintable(r.value(3).toString()));
        return;
    }
    // Through the snapshot, so the translation is the one the engine makes for the forms.
    for (auto rs = db.OpenSnapshot("EXPLAIN QUERY PLAN " + sql); !rs->Eof(); rs->MoveNext())
        std::fprintf(stderr, "  -> %s\n", qPrintable(rs->Field("detail").toString()));
}

double Memoria(const char* voce) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray chiave = QByteArray(voce) + ':';
    for (const QByteArray& riga : f.readAll().split('\n'))
        if (riga.startsWith(chiave))
            return riga.mid(chiave.size()).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}
