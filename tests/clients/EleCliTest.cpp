#include "clients/EleCli.h"
#include "ui/Global.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class EleCliTest : public ::testing::Test {
  protected:
    void SetUp() override { Nuovo(); }

    // A form lives once: each opening gets a new one, filled as its caller fills it.
    void Nuovo() {
        g.DialogoAperto = true;
        g.ClientRecord.CliCodice = 99;
        dlg = std::make_unique<EleCli>(g);
        dlg->Lista1->addItems({"     7-01234567890-ROSSI SPA", "    12-01234567899-BIANCHI SRL",
                               "123456-01234567800-VERDI SNC"});
    }

    // Shows the form as the operator would find it: active, focus in the list.
    void Apri() {
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
        QTest::qWait(30);  // the list's enter handler runs once the focus has settled
    }

    // An access key presses its button with a short animation.
    void Sparito() {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !dlg->isVisible(); }, 1000));
    }

    void Chiuso(bool confermato, std::int32_t codice) {
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(dlg->Confermato, confermato);
        EXPECT_EQ(g.ClientRecord.CliCodice, codice);
        EXPECT_FALSE(g.DialogoAperto);
    }

    Global g;
    std::unique_ptr<EleCli> dlg;
};

TEST_F(EleCliTest, ConfermaPrendeIlCodice) {
    // Not shown: nothing selected, CONFERMA falls back on the first line.
    dlg->Cmde[0]->click();
    Chiuso(true, 7);

    // Shown: the list has the focus and its first line is selected; Enter moves to
    // CONFERMA and a second Enter confirms the line chosen meanwhile.
    Nuovo();
    Apri();
    EXPECT_TRUE(QFontInfo(dlg->Lista1->font()).fixedPitch());
    // Each button shows its own colour, not one the style lightened.
    for (const auto& [i, colore] :
         {std::pair(0, QColor(173, 224, 177)), std::pair(1, QColor(228, 180, 180))}) {
        const QImage im = dlg->Cmde[i]->grab().toImage();
        EXPECT_EQ(im.pixelColor(4, im.height() / 2).name(), colore.name()) << i;
    }
    EXPECT_EQ(QApplication::focusWidget(), dlg->Lista1);
    EXPECT_TRUE(dlg->Lista1->item(0)->isSelected());
    QTest::keyClick(dlg->Lista1, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dlg->Cmde[0]);
    QTest::keyClick(dlg->Cmde[0], Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dlg->Cmde[1]);
    dlg->Lista1->setFocus();
    QTest::keyClick(dlg->Lista1, Qt::Key_End);
    QTest::keyClick(dlg->Lista1, Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), dlg->Cmde[0]);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    Chiuso(true, 123456);

    Nuovo();
    Apri();
    const QRect riga = dlg->Lista1->visualItemRect(dlg->Lista1->item(1));
    QTest::mouseClick(dlg->Lista1->viewport(), Qt::LeftButton, {}, riga.center());
    QTest::mouseDClick(dlg->Lista1->viewport(), Qt::LeftButton, {}, riga.center());
    Chiuso(true, 12);

    Nuovo();
    Apri();
    QTest::keyClick(dlg->Lista1, Qt::Key_Down);
    QTest::keyClick(dlg.get(), Qt::Key_C, Qt::AltModifier);
    Sparito();
    Chiuso(true, 12);

    // An empty list confirms nothing.
    Nuovo();
    dlg->Lista1->clear();
    Apri();
    dlg->Cmde[0]->click();
    Chiuso(true, 99);
}

TEST_F(EleCliTest, UscitaNonPrendeNulla) {
    const std::function<void()> modi[] = {
        [&] { dlg->Cmde[1]->click(); },
        [&] { QTest::keyClick(dlg->Lista1, Qt::Key_Escape); },
        [&] {
            QTest::keyClick(dlg->Lista1, Qt::Key_F2);
            Sparito();
        },
        [&] {
            QTest::keyClick(dlg->Cmde[0], Qt::Key_F2, Qt::ShiftModifier);
            Sparito();
        },
        [&] {
            QTest::keyClick(dlg.get(), Qt::Key_U, Qt::AltModifier);
            Sparito();
        },
        [&] { dlg->close(); },
    };
    for (size_t i = 0; i < std::size(modi); ++i) {
        SCOPED_TRACE(i);
        Nuovo();
        Apri();
        modi[i]();
        Chiuso(false, 99);
    }
}

}  // namespace
