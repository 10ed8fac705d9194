// An operator at the client form, as a program of its own: several of them run at once
// against one company to show what concurrent operators get. It drives the real form
// offscreen by keys, through the same path as typed keys.
//
//   anagrafica_operatore FOLDER inserisci N NAME
//       N new clients named "NAME 1".."NAME N": empty code, the company name, INSERISCI.
//       One line per client saved: "I <code shown> <code stored> <told 0|1>".
//   anagrafica_operatore FOLDER modifica CODE FIELD TEXT
//       Reads the client, types TEXT into field FIELD, CONFERMA.
// FOLDER holds the environment file, as the program's folder does. Every message shown is
// printed as "M <title>|<text>"; a Yes/No question waits for "SI" or "NO" on standard input.

#include "app/CasellaTesto.h"
#include "avvio/Ganci.h"
#include "clients/GesCliC.h"
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
    // operator was told they differ.
    bool Inserisci(const QString& nome, int& mostrato, int& memorizzato, bool& avvisato) {
        if (!Attendi([&] { return Su(0) && f_.Txt(0)->isEnabled(); })) return Fallito("code");
        int prima = messaggi_;
        Premi(QStringLiteral("{ENTER}"));
        if (!Fino(prima, [&] { return f_.ModoMaschera == 1 && Su(1); }) || !Su(1))
            return Fallito("code entry");  // a table that could not be read
        mostrato = f_.Txt(0)->text().toInt();
        for (int campo : {2, 3, 4}) {
            Premi(QStringLiteral("{DOWN}"));
            if (!Attendi([&] { return Su(campo); })) return Fallito("to the name");
        }
        Scrivi(nome);
        for (int tentativi = 0; tentativi < 50; ++tentativi) {
            prima = messaggi_;
            Premi(QStringLiteral("%I"));
            if (!Fino(prima, [&] { return f_.ModoMaschera == 0 && Su(0); })) return Fallito("save");
            if (f_.ModoMaschera == 0) break;
            // A lock that outlasted the wait: the operator presses INSERISCI again.
            if (!Attendi([&] { return Su(4); })) return Fallito("back to the name");
        }
        if (f_.ModoMaschera != 0) return Fallito("saves");
        avvisato = ultimo_.startsWith(QLatin1String("IL CODICE ")) && messaggi_ > prima;
        memorizzato = mostrato;
        if (avvisato) memorizzato = ultimo_.section(' ', -1).toInt();
        return Attendi([&] { return Su(0); });
    }

    bool Modifica(int codice, int campo, const QString& testo) {
        if (!Attendi([&] { return Su(0); })) return false;
        Scrivi(QString::number(codice));
        Premi(QStringLiteral("{ENTER}"));
        if (!Attendi([&] { return f_.ModoMaschera == 2 && Su(1); })) return false;
        Premi(QStringLiteral("{HOME}"));
        while (!Su(campo)) {
            Premi(QStringLiteral("{DOWN}"));
            if (!Attendi([&] { return Fuoco() != nullptr; })) return false;
        }
        f_.Txt(campo)->selectAll();
        Scrivi(testo);
        const int prima = messaggi_;
        Premi(QStringLiteral("%C"));
        Attendi([&] { return f_.ModoMaschera != 2 || messaggi_ > prima; });
        // Whatever came of it, the form is still the operator's.
        Attendi([&] { return Fuoco() != nullptr; }, 2000);
        return true;
    }

  private:
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

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList a = QApplication::arguments();
    if (a.size() < 3) {
        std::fprintf(stderr, "usage: %s FOLDER inserisci N NAME | modifica CODE FIELD TEXT\n",
                     argv[0]);
        return 2;
    }
    Global g;
    g.End = [] { std::exit(0); };
    InstallaGanci(g);
    GesCliC form(g);
    if (!form.Form_Initialize(QStringLiteral("E"), a[1], a[1]) || !form.Carica()) return 3;
    form.show();
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form)) return 3;
    Assesta();
    Operatore op(g, form);

    const QString comando = a[2];
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
    if (comando == QLatin1String("modifica") && a.size() == 6)
        return op.Modifica(a[3].toInt(), a[4].toInt(), a[5]) ? 0 : 1;
    std::fprintf(stderr, "unknown command\n");
    return 2;
}
