#include "clients/EleCli.h"
#include "ui/Global.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class EleCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g.DialogoAperto = true;
        g.ClientRecord.CliCodice = 99;
        dlg.Lista1->addItems({"     7-01234567890-ROSSI SPA", "    12-01234567899-BIANCHI SRL",
                              "123456-01234567800-VERDI SNC"});
    }

    // Shows the dialog as the operator would find it: active, focus in the list.
    void Apri() {
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }

    // An access key presses its button with a short animation.
    void Sparito() {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !dlg.isVisible(); }, 1000));
    }

    void Chiuso(QDialog::DialogCode esito, std::int32_t codice) {
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), esito);
        EXPECT_EQ(g.ClientRecord.CliCodice, codice);
        EXPECT_FALSE(g.DialogoAperto);
    }

    Global g;
    EleCli dlg{g};
};

TEST_F(EleCliTest, ConfermaPrendeIlCodice) {
    // Not shown: nothing selected, CONFERMA falls back on the first line.
    dlg.Cmde[0]->click();
    Chiuso(QDialog::Accepted, 7);

    // Shown: the list has the focus and its first line is selected; Enter moves to
    // CONFERMA and a second Enter confirms the line chosen meanwhile.
    g.DialogoAperto = true;
    Apri();
    EXPECT_TRUE(QFontInfo(dlg.Lista1->font()).fixedPitch());
    EXPECT_EQ(QApplication::focusWidget(), dlg.Lista1);
    EXPECT_TRUE(dlg.Lista1->item(0)->isSelected());
    QTest::keyClick(dlg.Lista1, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dlg.Cmde[0]);
    QTest::keyClick(dlg.Cmde[0], Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dlg.Cmde[1]);
    dlg.Lista1->setFocus();
    QTest::keyClick(dlg.Lista1, Qt::Key_End);
    QTest::keyClick(dlg.Lista1, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), dlg.Cmde[0]);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    Chiuso(QDialog::Accepted, 123456);

    g.DialogoAperto = true;
    Apri();
    const QRect riga = dlg.Lista1->visualItemRect(dlg.Lista1->item(1));
    QTest::mouseClick(dlg.Lista1->viewport(), Qt::LeftButton, {}, riga.center());
    QTest::mouseDClick(dlg.Lista1->viewport(), Qt::LeftButton, {}, riga.center());
    Chiuso(QDialog::Accepted, 12);

    g.DialogoAperto = true;
    Apri();
    QTest::keyClick(&dlg, Qt::Key_C, Qt::AltModifier);
    Sparito();
    Chiuso(QDialog::Accepted, 12);  // the line double-clicked is still the one selected

    // An empty list confirms nothing.
    dlg.Lista1->clear();
    g.ClientRecord.CliCodice = 99;
    g.DialogoAperto = true;
    Apri();
    dlg.Cmde[0]->click();
    Chiuso(QDialog::Accepted, 99);
}

TEST_F(EleCliTest, UscitaNonPrendeNulla) {
    const std::function<void()> modi[] = {
        [&] { dlg.Cmde[1]->click(); },
        [&] { QTest::keyClick(dlg.Lista1, Qt::Key_Escape); },
        [&] { QTest::keyClick(dlg.Lista1, Qt::Key_F2); },
        [&] { QTest::keyClick(dlg.Cmde[0], Qt::Key_F2); },
        [&] {
            QTest::keyClick(&dlg, Qt::Key_U, Qt::AltModifier);
            Sparito();
        },
        [&] { dlg.close(); },
    };
    for (size_t i = 0; i < std::size(modi); ++i) {
        SCOPED_TRACE(i);
        g.DialogoAperto = true;
        Apri();
        modi[i]();
        Chiuso(QDialog::Rejected, 99);
    }
}

}  // namespace
