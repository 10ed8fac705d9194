#pragma once

// An operator's walk through a form as a table: each row what is done (an answer made ready,
// a field clicked or reached, text typed, a key, a button) and then what shows; a failure names its
// row and ends the walk there, since every row starts where the one before left off.

#include "app/Messaggi.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <functional>
#include <optional>
#include <vector>

// Lets queued keys and focus changes arrive.
inline void Attendi() {
    QTest::qWait(30);
    // A dialog that has just closed hands the activation back a little later; on a loaded
    // machine that can be after the wait.
    for (int i = 0; i < 100 && !QApplication::activeWindow(); ++i) QTest::qWait(10);
}
inline QWidget* Fuoco() {
    return QApplication::focusWidget();
}
inline void Premi(int tasto, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::keyClick(Fuoco(), Qt::Key(tasto), m);
    Attendi();
    // An access key presses its button a moment later, as a click is animated.
    if (m & Qt::AltModifier) QTest::qWait(200), Attendi();
}
inline void Scrivi(const QString& testo) {
    QTest::keyClicks(Fuoco(), testo);
    Attendi();
}
inline void Clicca(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton);
    Attendi();
}

struct Passo {
    // Done in this order, each where given.
    std::optional<Risposta> risposta{};  // to the next question
    int tocca = -1;                      // a field, by the mouse
    int vai = -1;                        // Down until this field has the focus
    bool sopra = false;                  // typed over the whole text of the field
    QString scrivi{};
    int tasto = 0;
    Qt::KeyboardModifiers con = Qt::NoModifier;
    int clic = -1;  // a button, by the mouse
    // Then checked, each where given.
    std::optional<QString> messaggio{};  // the last one's text
    std::optional<QString> titolo{};
    std::optional<Pulsanti> pulsanti{};
    std::optional<Icona> icona{};
    std::optional<int> predefinito{};
    std::optional<size_t> messaggi{};  // how many this row showed
    std::optional<int> fuoco{};        // the field that has it
    std::vector<std::pair<int, QString>> campi{};
    std::optional<QString> modo{};
    QString sql{}, letto{};  // a query and what it reads
};

// What the runner needs of a form.
struct Vista {
    std::function<QWidget*(int)> campo;  // null past the last
    std::function<QAbstractButton*(int)> pulsante;
    std::function<QString()> modo;
    std::function<QString(const QString&)> leggi;
};

// A form's fields in their order, as the runner asks for them.
inline std::function<QWidget*(int)> Campi(std::vector<QWidget*> campi) {
    return [campi](int i) { return size_t(i) < campi.size() ? campi[size_t(i)] : nullptr; };
}

inline int CampoCon(const Vista& v, QWidget* w) {
    for (int i = 0; QWidget* c = v.campo(i); ++i)
        if (c == w) return i;
    return -1;
}
inline QString TestoDi(QWidget* w) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    return "<nessun testo>";
}

// Whether every row held.
inline bool Percorri(ServizioMessaggi& messaggi, const Vista& v, const std::vector<Passo>& passi) {
    const auto* esito = ::testing::UnitTest::GetInstance()->current_test_info()->result();
    const int prima = esito->total_part_count();
    for (size_t i = 0; i < passi.size(); ++i) {
        const Passo& p = passi[i];
        SCOPED_TRACE("row " + std::to_string(i));
        const size_t gia = messaggi.Mostrati().size();
        if (p.risposta) messaggi.Copione({*p.risposta});
        if (p.tocca >= 0) Clicca(v.campo(p.tocca));
        for (int n = 0; p.vai >= 0 && n < 20 && CampoCon(v, Fuoco()) != p.vai; ++n)
            Premi(Qt::Key_Down);
        EXPECT_TRUE(p.vai < 0 || CampoCon(v, Fuoco()) == p.vai) << "not reached: " << p.vai;
        if (auto* e = qobject_cast<QLineEdit*>(Fuoco()); p.sopra && e) e->selectAll();
        if (!p.scrivi.isEmpty()) Scrivi(p.scrivi);
        if (p.tasto) Premi(p.tasto, p.con);
        if (p.clic >= 0) Clicca(v.pulsante(p.clic));

        const auto& mostrati = messaggi.Mostrati();
        EXPECT_EQ(mostrati.size() - gia, p.messaggi.value_or(mostrati.size() - gia))
            << (mostrati.empty() ? QString() : mostrati.back().testo).toStdString();
        if (p.messaggio || p.titolo || p.pulsanti || p.icona || p.predefinito) {
            if (mostrati.empty()) return ADD_FAILURE() << "no message", false;
            const Messaggio& m = mostrati.back();
            EXPECT_EQ(m.testo, p.messaggio.value_or(m.testo));
            EXPECT_EQ(m.titolo, p.titolo.value_or(m.titolo));
            EXPECT_EQ(m.pulsanti, p.pulsanti.value_or(m.pulsanti));
            EXPECT_EQ(m.icona, p.icona.value_or(m.icona));
            EXPECT_EQ(m.predefinito, p.predefinito.value_or(m.predefinito));
        }
        const int fuoco = CampoCon(v, Fuoco());
        EXPECT_EQ(fuoco, p.fuoco.value_or(fuoco));
        for (const auto& [campo, testo] : p.campi)
            EXPECT_EQ(TestoDi(v.campo(campo)), testo) << "field " << campo;
        const QString modo = p.modo ? v.modo() : QString();
        EXPECT_EQ(modo, p.modo.value_or(modo));
        EXPECT_EQ(p.sql.isEmpty() ? p.letto : v.leggi(p.sql), p.letto);
        if (esito->total_part_count() > prima) return false;
    }
    return true;
}
