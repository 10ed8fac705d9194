#pragma once

// Drives the real client form from the keyboard, offscreen, on a throw-away installation.

#include "app/CasellaTesto.h"
#include "avvio/Ganci.h"
#include "clients/EleCli.h"
#include "clients/GesCliC.h"
#include "ui/Global.h"

#include "support/AmbienteProva.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
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

    // Lets queued keys and focus changes arrive.
    static void Attendi() {
        QTest::qWait(30);
        // A dialog that has just closed hands the activation back a little later; on a
        // loaded machine that can be after the wait.
        for (int i = 0; i < 100 && !QApplication::activeWindow(); ++i) QTest::qWait(10);
    }

    CasellaTesto* Txt(int i) { return form->Txt(i); }
    QWidget* Fuoco() { return QApplication::focusWidget(); }
    int CampoConFuoco() {
        for (int i = 0; i < 18; ++i)
            if (Fuoco() == Txt(i)) return i;
        return -1;
    }

    void Premi(int tasto, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(Fuoco(), Qt::Key(tasto), m);
        Attendi();
    }
    void Scrivi(const QString& testo) {
        QTest::keyClicks(Fuoco(), testo);
        Attendi();
    }
    // Puts the focus on a field the way the operator would: Home, then Down.
    void VaiAlCampo(int i) {
        Premi(Qt::Key_Home);
        for (int passi = 0; passi < 20 && CampoConFuoco() != i; ++passi) Premi(Qt::Key_Down);
        ASSERT_EQ(CampoConFuoco(), i);
    }
    // Moves down from the current field, without passing the fields above again.
    void Avanza(int i) {
        for (int passi = 0; passi < 20 && CampoConFuoco() != i; ++passi) Premi(Qt::Key_Down);
        ASSERT_EQ(CampoConFuoco(), i);
    }
    // Leaves the code empty: a new client, then a company name so the fields can be walked.
    void NuovoCliente() {
        Premi(Qt::Key_Return);
        ASSERT_EQ(CampoConFuoco(), 1);
        Premi(Qt::Key_Down);
        Premi(Qt::Key_Down);
        Premi(Qt::Key_Down);
        ASSERT_EQ(CampoConFuoco(), 4);
        Scrivi("NUOVO CLIENTE");
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
    int Clienti() { return Leggi("SELECT count(*) FROM Clienti").toInt(); }
    // The rows of a one-column query joined by commas.
    QString Elenco(const QString& sql) { return Leggi(sql).replace('\n', ','); }

    void Clicca(int pulsante) { Clicca(form->CmdI(pulsante)); }
    void Clicca(QAbstractButton* b) {
        QTest::mouseClick(b, Qt::LeftButton);
        Attendi();
    }
    // An access key presses its button a moment later, as a click is animated.
    void Rapido(int lettera) {
        Premi(lettera, Qt::AltModifier);
        QTest::qWait(150);
        Attendi();
    }

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
            passi(*d);
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
