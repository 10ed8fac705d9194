#pragma once

// Drives the real client form from the keyboard, offscreen, on a throw-away installation.

#include "app/CasellaTesto.h"
#include "avvio/Ganci.h"
#include "clients/EleCli.h"
#include "clients/GesCliC.h"
#include "ui/Global.h"

#include "support/AmbienteProva.h"
#include "support/Passi.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

class ModuloClientiTest : public ::testing::TestWithParam<Motore> {
  protected:
    // `base`: another server than the shared test server.
    explicit ModuloClientiTest(QString base = {}) : amb(GetParam(), false, std::move(base)) {}

    // `ini`: lines added to the usual environment file.
    void Avvia(const QString& riga = "E", const QByteArray& ini = {}) {
        amb.IniNormale(ini);
        InstallaGanci(g);
        form = std::make_unique<GesCliC>(g);
        ASSERT_TRUE(form->Form_Initialize(riga, amb.Programma(), amb.Sistema()));
        ASSERT_TRUE(form->Carica());
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        Attendi();
    }

    CasellaTesto* Txt(int i) { return form->Txt(i); }
    // The client form to the walks' runner.
    Vista VistaClienti() {
        return {[this](int i) -> QWidget* { return i < 18 ? Txt(i) : nullptr; },
                [this](int i) -> QAbstractButton* { return form->CmdI(i); },
                [this] { return QString::number(form->ModoMaschera); },
                [this](const QString& sql) { return Leggi(sql); }};
    }
    bool Passi(const std::vector<Passo>& passi) {
        return Percorri(g.Messaggi, VistaClienti(), passi);
    }
    int CampoConFuoco() { return CampoCon(VistaClienti(), Fuoco()); }

    // Puts the focus on a field the way the operator would: Home, then Down.
    void VaiAlCampo(int i) {
        Premi(Qt::Key_Home);
        Avanza(i);
    }
    // Moves down from the current field, without passing the fields above again.
    void Avanza(int i) { ASSERT_TRUE(Passi({{.vai = i}})); }
    // Leaves the code empty: a new client, then a company name so the fields can be walked.
    void NuovoCliente() {
        Passi({{.tasto = Qt::Key_Return, .fuoco = 1}, {.vai = 4, .scrivi = "NUOVO CLIENTE"}});
    }

    // What another program reads from the company database.
    QString Leggi(const QString& sql) { return amb.Leggi(sql); }
    // A statement of another program (a process of its own, through the engine) on the
    // company's or the code tables' database; its exit code, 0 when done.
    int AltroProgramma(const QString& sql, bool tabelle = false) {
        QProcess p;
        p.start(ANAGRAFICA_OPERATORE, {amb.Programma(), "sql", tabelle ? "tabelle" : "ditta", sql});
        return p.waitForFinished(30000) ? p.exitCode() : -1;
    }
    static inline const QString kQuanti = "SELECT count(*) FROM Clienti";

    void Clicca(int pulsante) { ::Clicca(form->CmdI(pulsante)); }
    void Clicca(QWidget* w) { ::Clicca(w); }

    // Presses a button of the similar-clients list as soon as it is up.
    void AlloElenco(int pulsante) {
        NelModale<EleCli>([pulsante](EleCli& d) {
            righeElenco = d.Lista1->count();
            d.Cmde[pulsante]->click();
        });
    }

    // Runs `passi` inside the modal form of type F as soon as it is up; the form must be
    // gone when the key that opened it returns. `eseguito` tells whether it came up.
    template <typename F>
    void NelModale(std::function<void(F&)> passi) {
        eseguito = false;
        auto* t = new QTimer(form.get());
        QObject::connect(t, &QTimer::timeout, t, [this, t, passi] {
            auto* d = qobject_cast<F*>(QApplication::activeModalWidget());
            if (!d || !d->isVisible()) return;
            t->stop();
            t->deleteLater();
            eseguito = true;
            Attendi();
            const QPointer<F> su(d);
            passi(*d);
            // A check that failed in there must not leave the form up, or the key that opened
            // it would wait for it until the test's time runs out.
            if (::testing::Test::HasFailure() && su && su->isVisible()) su->close();
        });
        t->start(20);
    }

    std::vector<QString> Testi() {
        std::vector<QString> v;
        for (const auto& m : g.Messaggi.Mostrati()) v.push_back(m.testo);
        return v;
    }

    static inline int righeElenco = -1;
    bool eseguito = false;

    AmbienteProva amb;
    Global g;
    std::unique_ptr<GesCliC> form;
};
