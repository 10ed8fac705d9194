#include "app/CasellaTesto.h"
#include "support/AmbienteProva.h"

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class CasellaTestoTest : public ::testing::Test {
  protected:
    CasellaTestoTest() {
        casella.SetMaxLength(27);
        casella.show();
        casella.activateWindow();
        casella.setFocus();
    }

    CasellaTesto casella;
};

const QString kLunga = QStringLiteral("SAN GIORGIO DI NOGARO SUL TAGLIAME");  // 34

TEST_F(CasellaTestoTest, IlProgrammaScriveOltreLaLunghezzaLOperatoreNo) {
    casella.setText(kLunga + "NTO");
    EXPECT_EQ(casella.text().size(), 37);
    QSignalSpy cambi(&casella, &QLineEdit::textChanged);
    QTest::keyClick(&casella, Qt::Key_End);
    QTest::keyClicks(&casella, "ABCDEFGHIJ");
    EXPECT_EQ(casella.text(), kLunga + "NTO");
    EXPECT_EQ(cambi.count(), 0) << "a refused key changes nothing";

    // Shortening stays possible, and growing again stops at the length.
    for (int i = 0; i < 12; ++i) QTest::keyClick(&casella, Qt::Key_Backspace);
    EXPECT_EQ(casella.text().size(), 25);
    QTest::keyClicks(&casella, "XYZ");
    EXPECT_EQ(casella.text(), (kLunga + "NTO").left(25) + "XY");
}

TEST_F(CasellaTestoTest, UnaSelezioneSostituitaPrendeSoloCiòCheEntra) {
    casella.setText(kLunga);  // 34 in a box of 27
    // Ten characters selected and one typed: 25 left, the new one fits.
    casella.setSelection(0, 10);
    QTest::keyClicks(&casella, "Q");
    EXPECT_EQ(casella.text(), "Q" + kLunga.mid(10));

    // Two selected and one typed in a text still too long: the selection goes, nothing comes.
    casella.setText(kLunga);
    casella.setSelection(4, 2);
    QTest::keyClicks(&casella, "Q");
    EXPECT_EQ(casella.text(), kLunga.left(4) + kLunga.mid(6));
}

TEST_F(CasellaTestoTest, UnIncollaTroppoLungoTieneICaratteriCheEntrano) {
    casella.SetMaxLength(5);
    casella.setText("AB");
    casella.setCursorPosition(1);
    QApplication::clipboard()->setText("1234567");
    QTest::keySequence(&casella, QKeySequence::Paste);
    EXPECT_EQ(casella.text(), "A123B");
    EXPECT_EQ(casella.cursorPosition(), 4);

    // Repeated characters do not confuse where the insertion went.
    casella.SetMaxLength(5);
    casella.setText("ABAB");
    casella.setCursorPosition(2);
    QApplication::clipboard()->setText("AB");
    QTest::keySequence(&casella, QKeySequence::Paste);
    EXPECT_EQ(casella.text(), "ABAAB");

    // A full box takes nothing, pasted or typed.
    QApplication::clipboard()->setText("Z");
    QTest::keySequence(&casella, QKeySequence::Paste);
    QTest::keyClicks(&casella, "Z");
    EXPECT_EQ(casella.text(), "ABAAB");
}

// An Alt combination is an access key, whether a button has it or not: never a letter typed.
TEST_F(CasellaTestoTest, UnaCombinazioneConAltNonScriveLaSuaLettera) {
    casella.setText("MILANO");
    QTest::keyClick(&casella, Qt::Key_End);
    for (Qt::KeyboardModifiers m :
         {Qt::KeyboardModifiers(Qt::AltModifier), Qt::AltModifier | Qt::ShiftModifier})
        for (auto k : {Qt::Key_X, Qt::Key_5}) QTest::keyClick(&casella, k, m);
    EXPECT_EQ(casella.text(), "MILANO");
}

TEST_F(CasellaTestoTest, UndoRiportaIlTestoLungoDelProgramma) {
    casella.setText(kLunga);
    QTest::keyClick(&casella, Qt::Key_End);
    QTest::keyClick(&casella, Qt::Key_Backspace);
    EXPECT_EQ(casella.text(), kLunga.chopped(1));
    QTest::keySequence(&casella, QKeySequence::Undo);
    EXPECT_EQ(casella.text(), kLunga);
}

}  // namespace
