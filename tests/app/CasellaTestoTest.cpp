#include "app/CasellaTesto.h"
#include "support/AmbienteProva.h"

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kLunga = QStringLiteral("SAN GIORGIO DI NOGARO SUL TAGLIAME");  // 34

using Azione = std::function<void(CasellaTesto&)>;
Azione Scrivi(const QString& s) {
    return [s](CasellaTesto& c) { QTest::keyClicks(&c, s); };
}
Azione Incolla(const QString& s) {
    return [s](CasellaTesto& c) {
        QApplication::clipboard()->setText(s);
        QTest::keySequence(&c, QKeySequence::Paste);
    };
}
Azione Tasto(Qt::Key k, int volte = 1, Qt::KeyboardModifiers m = Qt::NoModifier) {
    return [=](CasellaTesto& c) {
        for (int i = 0; i < volte; ++i) QTest::keyClick(&c, k, m);
    };
}
Azione Poi(std::initializer_list<Azione> passi) {
    return [v = std::vector<Azione>(passi)](CasellaTesto& c) {
        for (const Azione& a : v) a(c);
    };
}

// The length binds what the operator types, replaces or pastes, never what the program
// wrote: a longer value stays whole, may be shortened, and never grows.
TEST(CasellaTesto, LaLunghezzaLegaSoloLOperatore) {
    const struct {
        const char* caso;
        QString testo;
        int lunghezza, da, selezionati;  // selezionati 0: the cursor at `da`
        Azione operatore;
        QString atteso;
        int cursore = -1;
    } casi[] = {
        {"typed past the length", kLunga + "NTO", 27, 37, 0,
         [](CasellaTesto& c) {
             QSignalSpy cambi(&c, &QLineEdit::textChanged);
             Scrivi("ABCDEFGHIJ")(c);
             EXPECT_EQ(cambi.count(), 0) << "a refused key changes nothing";
         },
         kLunga + "NTO"},
        {"shortened, then grown to the length", kLunga + "NTO", 27, 37, 0,
         Poi({Tasto(Qt::Key_Backspace, 12), Scrivi("XYZ")}), (kLunga + "NTO").left(25) + "XY"},
        {"ten replaced by one: 25, it fits", kLunga, 27, 0, 10, Scrivi("Q"), "Q" + kLunga.mid(10)},
        {"two replaced, still too long", kLunga, 27, 4, 2, Scrivi("Q"),
         kLunga.left(4) + kLunga.mid(6)},
        {"a paste keeps what fits", "AB", 5, 1, 0, Incolla("1234567"), "A123B", 4},
        {"repeated characters", "ABAB", 5, 2, 0, Incolla("AB"), "ABAAB"},
        {"a full box", "ABAAB", 5, 5, 0, Poi({Incolla("Z"), Scrivi("Z")}), "ABAAB"},
        {"never half a character", "ABC", 4, 3, 0, Incolla(QString::fromUtf8("😀X")), "ABC"},
        // Tabs and line breaks from a spreadsheet or a paragraph: one blank within the field.
        {"a row of cells", "", 35, 0, 0, Incolla("\tVIA\tDEL PO\r\n"), "VIA DEL PO", 10},
        {"lines between others", "AB", 35, 1, 0, Incolla("\r\n1\n\n2\r\n"), "A 1 2 B", 6},
        {"a line break alone", "AB", 35, 2, 0, Incolla("\r\n"), "AB"},
        // An Alt combination is an access key, whether a button has it or not.
        {"Alt never types", "MILANO", 27, 6, 0,
         Poi({Tasto(Qt::Key_X, 1, Qt::AltModifier), Tasto(Qt::Key_5, 1, Qt::AltModifier),
              Tasto(Qt::Key_X, 1, Qt::AltModifier | Qt::ShiftModifier)}),
         "MILANO"},
        {"undo gives the program's long text back", kLunga, 27, 34, 0,
         Poi({Tasto(Qt::Key_Backspace),
              [](CasellaTesto& c) { EXPECT_EQ(c.text(), kLunga.chopped(1)); },
              [](CasellaTesto& c) { QTest::keySequence(&c, QKeySequence::Undo); }}),
         kLunga},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        CasellaTesto casella;
        casella.SetMaxLength(c.lunghezza);
        casella.show();
        casella.activateWindow();
        casella.setFocus();
        casella.setText(c.testo);
        if (c.selezionati)
            casella.setSelection(c.da, c.selezionati);
        else
            casella.setCursorPosition(c.da);
        c.operatore(casella);
        EXPECT_EQ(casella.text(), c.atteso);
        if (c.cursore >= 0) {
            EXPECT_EQ(casella.cursorPosition(), c.cursore);
        }
    }
}

}  // namespace
