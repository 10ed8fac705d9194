// Several operators at once, each a program of its own (tests/operatore) at the real client
// form, on one company: codes under contention, a change or a deletion made by another
// operator meanwhile, another program's lock. On files and on the server.

#include "support/AmbienteProva.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

namespace {

// One operator's program: its lines as they come, and the answers it waits for.
class Operatore {
  public:
    Operatore(const AmbienteProva& amb, const QStringList& argomenti) {
        p_.setProcessChannelMode(QProcess::SeparateChannels);
        p_.start(ANAGRAFICA_OPERATORE, QStringList{amb.Programma()} + argomenti);
    }
    ~Operatore() {
        if (p_.state() != QProcess::NotRunning) {
            p_.kill();
            p_.waitForFinished(5000);
        }
    }
    // The next line that starts with `inizio`; the lines before it stay in Righe().
    QString Attendi(const QString& inizio, int ms = 30000) {
        for (QElapsedTimer t; t.isValid() || (t.start(), true);) {
            for (qsizetype i = letto_; i < righe_.size(); ++i)
                if (righe_[i].startsWith(inizio)) {
                    letto_ = i + 1;
                    return righe_[i];
                }
            if (t.elapsed() > ms || (p_.state() == QProcess::NotRunning && !p_.canReadLine()))
                return "<nessuna riga " + inizio + ">";
            p_.waitForReadyRead(100);
            while (p_.canReadLine()) righe_ << QString::fromUtf8(p_.readLine()).chopped(1);
        }
        return {};
    }
    void Rispondi(const QByteArray& riga) {
        p_.write(riga + '\n');
        p_.waitForBytesWritten(1000);
    }
    // The exit code once the program has ended; its remaining lines are read.
    int Fine(int ms = 60000) {
        p_.closeWriteChannel();
        if (!p_.waitForFinished(ms)) return -1;
        while (p_.canReadLine()) righe_ << QString::fromUtf8(p_.readLine()).chopped(1);
        errori_ = QString::fromUtf8(p_.readAllStandardError());
        return p_.exitCode();
    }
    const QStringList& Righe() const { return righe_; }
    const QString& Errori() const { return errori_; }
    QStringList Messaggi() const { return righe_.filter(QRegularExpression("^M ")); }
    // The form as it ended: its mode and its fields.
    QStringList Modulo() const {
        const QStringList f = righe_.filter(QRegularExpression("^F "));
        return f.isEmpty() ? QStringList() : f.back().mid(2).split('|');
    }

  private:
    QProcess p_;
    QStringList righe_;
    qsizetype letto_ = 0;
    QString errori_;
};

class OperatoriTest : public ::testing::TestWithParam<Motore> {
  protected:
    void SetUp() override {
        amb.IniNormale();
        amb.AggiungiCliente(5, "QUINTO");
    }
    QString Leggi(const QString& sql) const { return amb.Leggi(sql); }
    // Another program's statement, through the engine.
    void Altro(const QString& sql) {
        Operatore p(amb, {"sql", "ditta", sql});
        ASSERT_EQ(p.Fine(), 0) << p.Errori().toStdString();
    }

    AmbienteProva amb{GetParam()};
};
SU_OGNI_MOTORE(OperatoriTest);

// Two programs insert a hundred clients each at once, through the operator's path: every
// client stored once, under a code of its own, and each operator told of a code that
// changed under them.
TEST_P(OperatoriTest, DueProgrammiInserisconoCentoClientiCiascuno) {
    Operatore a(amb, {"inserisci", "100", "PRIMO"}), b(amb, {"inserisci", "100", "SECONDO"});
    ASSERT_EQ(a.Fine(120000), 0) << a.Errori().toStdString();
    ASSERT_EQ(b.Fine(120000), 0) << b.Errori().toStdString();
    EXPECT_EQ(Leggi("SELECT count(*), count(DISTINCT CliCodice) FROM Clienti"), "201|201");
    EXPECT_EQ(Leggi("SELECT count(*) FROM Clienti WHERE CliRagsoc IS NULL OR "
                    "trim(CliRagsoc) = ''"),
              "0");
    std::map<QString, QString> codici;  // name -> stored code
    for (const QString& r :
         Leggi("SELECT trim(CliRagsoc) || '=' || CliCodice FROM Clienti").split('\n'))
        codici[r.section('=', 0, 0)] = r.section('=', 1);
    int cambiati = 0;
    for (const auto& [op, nome] : {std::pair{&a, "PRIMO"}, std::pair{&b, "SECONDO"}}) {
        const QStringList righe = op->Righe().filter(QRegularExpression("^I "));
        ASSERT_EQ(righe.size(), 100);
        for (int i = 0; i < 100; ++i) {
            const QStringList c = righe[i].split(' ');  // I shown stored told
            const QString chiave = QString("%1 %2").arg(nome).arg(i + 1);
            EXPECT_EQ(codici[chiave], c[2]) << chiave.toStdString();
            EXPECT_EQ(c[3] == "1", c[1] != c[2]) << "told exactly when the code changed";
            cambiati += c[1] != c[2];
        }
    }
    RecordProperty("codici_cambiati", cambiati);
}

// B changes the client A has on its form. A is asked; No shows A the client as stored and
// leaves it unsaved.
TEST_P(OperatoriTest, UnaModificaAltruiSiChiedeENoRilegge) {
    Operatore a(amb, {"modifica", "5", "10", "0612345", "attendi"});
    ASSERT_EQ(a.Attendi("PRONTO"), "PRONTO");
    Operatore b(amb, {"modifica", "5", "6", "VIA DI B"});
    ASSERT_EQ(b.Fine(), 0) << b.Errori().toStdString();
    a.Rispondi("via");
    EXPECT_EQ(a.Attendi("M "), "M |CLIENTE MODIFICATO DA UN ALTRO UTENTE: SOVRASCRIVO ?");
    a.Rispondi("NO");
    ASSERT_EQ(a.Fine(), 0) << a.Errori().toStdString();
    const QStringList f = a.Modulo();
    ASSERT_EQ(f.size(), 19);
    EXPECT_EQ(f[0], "2") << "still in change mode";
    EXPECT_EQ(f[7], "VIA DI B") << "the client as stored now";
    EXPECT_EQ(f[11], "");
    EXPECT_EQ(Leggi("SELECT trim(CliIndirizzo) || '|' || trim(CliTelefono) FROM Clienti"),
              "VIA DI B|");
}

// Yes overwrites as the operator chose; while A's question waits, A holds nothing, and a
// third program saves the same client at once.
TEST_P(OperatoriTest, SiSovrascriveENessunBloccoMentreLaDomandaAspetta) {
    Operatore a(amb, {"modifica", "5", "10", "0612345", "attendi"});
    ASSERT_EQ(a.Attendi("PRONTO"), "PRONTO");
    Altro("UPDATE Clienti SET CliIndirizzo = 'VIA DI B' WHERE CliCodice = 5");
    a.Rispondi("via");
    ASSERT_EQ(a.Attendi("M "), "M |CLIENTE MODIFICATO DA UN ALTRO UTENTE: SOVRASCRIVO ?");
    Operatore c(amb, {"modifica", "5", "12", "CATC"});
    ASSERT_EQ(c.Fine(), 0) << c.Errori().toStdString();
    EXPECT_TRUE(c.Messaggi().isEmpty()) << c.Messaggi().join('\n').toStdString();
    EXPECT_EQ(c.Modulo().value(0), "0") << "saved, not waiting for A";
    EXPECT_EQ(Leggi("SELECT trim(CliCategoria) FROM Clienti"), "CATC");
    a.Rispondi("SI");
    ASSERT_EQ(a.Fine(), 0) << a.Errori().toStdString();
    EXPECT_EQ(a.Modulo().value(0), "0");
    EXPECT_EQ(Leggi("SELECT trim(CliIndirizzo) || '|' || trim(CliTelefono) || '|' || "
                    "trim(CliCategoria) FROM Clienti"),
              "|0612345|")
        << "A's form as A left it";
}

// B deletes the client A has on its form: A's save does not bring it back, and A's
// ELIMINA does not act as if it had deleted it.
TEST_P(OperatoriTest, UnClienteCancellatoDaUnAltroNonRinasce) {
    Operatore a(amb, {"modifica", "5", "10", "0612345", "attendi"});
    ASSERT_EQ(a.Attendi("PRONTO"), "PRONTO");
    Operatore b(amb, {"elimina", "5"});
    EXPECT_EQ(b.Attendi("M "), "M NORVAL - CANCELLAZIONE|CONFERMI LA CANCELLAZIONE DEL CLIENTE 5");
    b.Rispondi("SI");
    ASSERT_EQ(b.Fine(), 0) << b.Errori().toStdString();
    a.Rispondi("via");
    ASSERT_EQ(a.Fine(), 0) << a.Errori().toStdString();
    EXPECT_EQ(a.Messaggi(), QStringList{"M |CLIENTE CANCELLATO DA UN ALTRO UTENTE"});
    EXPECT_EQ(a.Modulo().value(0), "0") << "the form emptied";
    EXPECT_EQ(Leggi("SELECT count(*) FROM Clienti"), "0");

    amb.AggiungiCliente(6, "SESTO");
    Operatore d(amb, {"elimina", "6", "attendi"});
    ASSERT_EQ(d.Attendi("PRONTO"), "PRONTO");
    Altro("DELETE FROM Clienti WHERE CliCodice = 6");
    d.Rispondi("via");
    d.Attendi("M NORVAL - CANCELLAZIONE");
    d.Rispondi("SI");
    ASSERT_EQ(d.Fine(), 0) << d.Errori().toStdString();
    EXPECT_EQ(d.Messaggi().value(1), "M |CLIENTE CANCELLATO DA UN ALTRO UTENTE");
    EXPECT_EQ(d.Modulo().value(0), "0") << "not the state of a deletion of its own";
}

// Another program holds the table: a save and a delete each get the locked error after the
// lock wait, and the form keeps what the operator typed.
TEST_P(OperatoriTest, UnBloccoAltruiDaLErroreETieneIlModulo) {
    motore::Workspace ws(amb.Server());
    auto altro = amb.ApriDitta(ws);
    altro->Esegui(amb.SqlBloccoScrittura("Clienti"));
    Operatore a(amb, {"modifica", "5", "10", "0612345"});
    ASSERT_EQ(a.Fine(), 0) << a.Errori().toStdString();
    ASSERT_EQ(a.Messaggi().size(), 1);
    EXPECT_TRUE(a.Messaggi()[0].startsWith("M NORVAL - ERRORE N. 3218|"))
        << a.Messaggi()[0].toStdString();
    EXPECT_EQ(a.Modulo().value(0), "2");
    EXPECT_EQ(a.Modulo().value(11), "0612345") << "what was typed stays";

    Operatore b(amb, {"elimina", "5"});
    b.Attendi("M NORVAL - CANCELLAZIONE");
    b.Rispondi("SI");
    ASSERT_EQ(b.Fine(), 0) << b.Errori().toStdString();
    EXPECT_TRUE(b.Messaggi().value(1).startsWith("M NORVAL - ERRORE N. 3218|"));
    EXPECT_EQ(b.Modulo().value(0), "2");
    altro->Esegui("COMMIT");
    EXPECT_EQ(Leggi("SELECT CliCodice || '|' || coalesce(trim(CliTelefono), '') FROM Clienti"),
              "5|");
}

}  // namespace
