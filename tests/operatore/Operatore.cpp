// An operator at the client form, as a program of its own: several of them run at once
// against one company to show what concurrent operators get. It drives the real form
// offscreen by keys, through the same path as typed keys.
//
//   anagrafica_operatore FOLDER inserisci N NAME
//       N new clients named "NAME 1".."NAME N": empty code, the company name, INSERISCI.
//       One line per client saved: "I <code shown> <code stored> <told 0|1>".
//   anagrafica_operatore FOLDER modifica CODE FIELD TEXT [attendi]
//       Reads the client, types TEXT into field FIELD, CONFERMA.
//   anagrafica_operatore FOLDER elimina CODE [attendi]
//       Reads the client and presses ELIMINA.
//       With "attendi" both print "PRONTO" before the button and wait for a line on
//       standard input; both end by printing the form: "F <mode>|<field 0>|...|<field 17>".
//   anagrafica_operatore FOLDER sql ditta|tabelle STATEMENT
//       Another program's statement on the company's or the code tables' database.
// FOLDER holds the environment file, as the program's folder does. Every message shown is
// printed as "M <title>|<text>"; a Yes/No question waits for "SI" or "NO" on standard input.

#include "app/CasellaTesto.h"
#include "avvio/Avvio.h"
#include "avvio/Ganci.h"
#include "clients/GesCliC.h"
#include "engine/Motore.h"
#include "ui/Global.h"
#include "ui/Tasti.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <functional>
#include <iostream>
#include <string>

namespace {

// Lets the program run until `fatto` holds: events first, a short sleep only when none wait.
bool Attendi(const std::function<bool()>& fatto, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!fatto()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::sendPostedEvents();
        if (!QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents))
            QThread::usleep(300);
    }
    return true;
}

// Runs what the last key queued (focus steps, synthesised keys) before the next key, as
// keys typed at the keyboard arrive after it.
void Assesta() {
    for (int vuoti = 0; vuoti < 3;) {
        QCoreApplication::sendPostedEvents();
        if (QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents))
            vuoti = 0;
        else
            ++vuoti;
    }
}

class Operatore {
  public:
    Operatore(Global& g, GesCliC& f) : g_(g), f_(f) {
        g_.Messaggi.CopioneAttivo(true);
        g_.Messaggi.MentreAperto = [this](const Messaggio& m) {
            std::printf("M %s|%s\n", qPrintable(m.titolo),
                        qPrintable(QString(m.testo).replace('\n', ' ')));
            std::fflush(stdout);
            ++messaggi_;
            ultimo_ = m.testo;
            if (m.pulsanti == Pulsanti::SiNo) {
                std::string risposta;
                std::getline(std::cin, risposta);
                g_.Messaggi.Copione({risposta == "SI" ? Risposta::Si : Risposta::No});
            }
        };
    }

    QWidget* Fuoco() const { return QApplication::focusWidget(); }
    bool Su(int campo) const { return Fuoco() == f_.Txt(campo); }
    // Keys go through the window system, as typed keys do ("{ENTER}", "%I", "A").
    void Premi(const QString& tasti) {
        InviaTasti(tasti);
        Assesta();
    }
    void Scrivi(const QString& testo) {
        for (QChar c : testo) InviaTasti(QString(c));
        Assesta();
    }
    // A message since `prima`, or the condition: whichever comes first.
    bool Fino(int prima, const std::function<bool()>& fatto) {
        return Attendi([&] { return messaggi_ > prima || fatto(); });
    }

    // One new client: true when stored; the codes shown and stored, and whether the
    // operator was told they differ. Refusals (a lock, a lost connection) are met as an
    // operator meets them: the same key again, a moment later.
    bool Inserisci(const QString& nome, int& mostrato, int& memorizzato, bool& avvisato) {
        QElapsedTimer tempo;
        tempo.start();
        for (;;) {
            if (!Attendi([&] { return Su(0) && f_.Txt(0)->isEnabled(); })) return Fallito("code");
            const int prima = messaggi_;
            Premi(QStringLiteral("{ENTER}"));
            Fino(prima, [&] { return f_.ModoMaschera == 1 && Su(1); });
            if (f_.ModoMaschera == 1 && Attendi([&] { return Su(1); })) break;
            if (tempo.elapsed() > kPazienza) return Fallito("code entry");
            QThread::msleep(100);
        }
        mostrato = f_.Txt(0)->text().toInt();
        for (int campo : {2, 3, 4}) {
            Premi(QStringLiteral("{DOWN}"));
            if (!Attendi([&] { return Su(campo); })) return Fallito("to the name");
        }
        Scrivi(nome);
        int prima = messaggi_;
        for (;;) {
            prima = messaggi_;
            Premi(QStringLiteral("%I"));
            if (!Fino(prima, [&] { return f_.ModoMaschera == 0 && Su(0); })) return Fallito("save");
            // A message may only say that a check could not run, and the save go on.
            if (!Attendi([&] { return Su(4) || (f_.ModoMaschera == 0 && Su(0)); }))
                return Fallito("back to the name");
            if (f_.ModoMaschera == 0) break;
            if (tempo.elapsed() > kPazienza) return Fallito("saves");
            QThread::msleep(100);
        }
        avvisato = ultimo_.startsWith(QLatin1String("IL CODICE ")) && messaggi_ > prima;
        memorizzato = mostrato;
        if (avvisato) memorizzato = ultimo_.section(' ', -1).toInt();
        return Attendi([&] { return Su(0); });
    }

    // The client with that code on the form, in change mode.
    bool Leggi(int codice) {
        if (!Attendi([&] { return Su(0); })) return Fallito("code");
        Scrivi(QString::number(codice));
        Premi(QStringLiteral("{ENTER}"));
        return Attendi([&] { return f_.ModoMaschera == 2 && Su(1); }) || Fallito("read");
    }

    // Types `testo` over field `campo` of the client on the form; CONFERMA once `via` allows.
    bool Modifica(int codice, int campo, const QString& testo, const std::function<void()>& via) {
        if (!Leggi(codice)) return false;
        Premi(QStringLiteral("{HOME}"));
        for (int passi = 0; !Su(campo); ++passi) {
            if (passi > 20) return Fallito("to the field");
            Premi(QStringLiteral("{DOWN}"));
        }
        f_.Txt(campo)->selectAll();
        Scrivi(testo);
        via();
        return Premuto(QStringLiteral("%C"));
    }

    bool Elimina(int codice, const std::function<void()>& via) {
        if (!Leggi(codice)) return false;
        via();
        return Premuto(QStringLiteral("%E"));
    }

    // The form as the operator sees it: its mode and every field.
    void Stato() const {
        QStringList campi;
        for (int i = 0; i < 18; ++i) campi << f_.Txt(i)->text();
        std::printf("F %d|%s\n", int(f_.ModoMaschera), qPrintable(campi.join('|')));
        std::fflush(stdout);
    }

  private:
    static constexpr int kPazienza = 60'000;  // ms an operator keeps trying

    // A button through its access key; done once the button has acted and the form is
    // the operator's again.
    bool Premuto(const QString& tasto) {
        const int prima = messaggi_;
        const int modo = f_.ModoMaschera;
        Premi(tasto);
        Attendi([&] { return f_.ModoMaschera != modo || messaggi_ > prima; });
        return Attendi([&] { return Fuoco() != nullptr && !f_.CmdI(0)->isDown(); });
    }

    bool Fallito(const char* passo) const {
        std::fprintf(stderr, "stuck at: %s (focus on %s, mode %d)\n", passo,
                     Fuoco() ? qPrintable(Fuoco()->objectName()) : "nothing", int(f_.ModoMaschera));
        return false;
    }

    Global& g_;
    GesCliC& f_;
    int messaggi_ = 0;
    QString ultimo_;
};

// Waits for a line on standard input: the test's go-ahead at a point it chose.
void AttendiVia() {
    std::printf("PRONTO\n");
    std::fflush(stdout);
    std::string riga;
    std::getline(std::cin, riga);
}

// Another program's statement on the installation's databases, through the engine.
int Sql(Global& g, const QString& cartella, const QString& database, const QString& sql) {
    g.Messaggi.CopioneAttivo(true);
    // What the opening says, printed as the form's messages are; Retry is not asked for.
    g.Messaggi.MentreAperto = [&g](const Messaggio& m) {
        std::printf("M %s|%s\n", qPrintable(m.titolo),
                    qPrintable(QString(m.testo).replace('\n', ' ')));
        std::fflush(stdout);
        if (m.pulsanti == Pulsanti::RiprovaAnnulla) g.Messaggi.Copione({Risposta::Annulla});
    };
    if (!InizializzaAmbiente(g, QStringLiteral("E"), cartella, cartella) || !CaricaAmbiente(g))
        return 3;
    auto& env = g.EnvironmentSettings;
    env.Workspace->ImpostaAttesaBlocco(1000);
    try {
        (database == QLatin1String("tabelle") ? env.CodeTablesDatabase : env.CompanyDatabase)
            ->Esegui(sql);
    } catch (const motore::Errore& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Spiegazione()));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList a = QApplication::arguments();
    if (a.size() < 3) {
        std::fprintf(stderr,
                     "usage: %s FOLDER inserisci N NAME | modifica CODE FIELD TEXT [attendi] | "
                     "elimina CODE [attendi] | sql ditta|tabelle STATEMENT\n",
                     argv[0]);
        return 2;
    }
    Global g;
    g.End = [] { std::exit(0); };
    const QString comando = a[2];
    if (comando == QLatin1String("sql") && a.size() == 5) return Sql(g, a[1], a[3], a[4]);

    InstallaGanci(g);
    GesCliC form(g);
    if (!form.Form_Initialize(QStringLiteral("E"), a[1], a[1]) || !form.Carica()) return 3;
    form.show();
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form)) return 3;
    Assesta();
    Operatore op(g, form);
    const auto via = [&](int argomento) {
        return [&a, argomento] {
            if (a.size() > argomento && a[argomento] == QLatin1String("attendi")) AttendiVia();
        };
    };

    if (comando == QLatin1String("inserisci") && a.size() == 5) {
        const int n = a[3].toInt();
        for (int i = 1; i <= n; ++i) {
            int mostrato = 0, memorizzato = 0;
            bool avvisato = false;
            if (!op.Inserisci(a[4] + ' ' + QString::number(i), mostrato, memorizzato, avvisato)) {
                std::fprintf(stderr, "insert %d did not finish\n", i);
                return 1;
            }
            std::printf("I %d %d %d\n", mostrato, memorizzato, avvisato ? 1 : 0);
            std::fflush(stdout);
        }
        return 0;
    }
    bool fatto = false;
    if (comando == QLatin1String("modifica") && a.size() >= 6)
        fatto = op.Modifica(a[3].toInt(), a[4].toInt(), a[5], via(6));
    else if (comando == QLatin1String("elimina") && a.size() >= 4)
        fatto = op.Elimina(a[3].toInt(), via(4));
    else
        return 2;
    op.Stato();
    return fatto ? 0 : 1;
}
