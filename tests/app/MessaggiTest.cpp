#include "app/Messaggi.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// A box asked again right after one closes (a Retry) stands over the same window, although
// the window system has not made that window active again yet.
TEST(Messaggi, UnaSecondaDomandaSopraLaStessaFinestra) {
    QWidget modulo;
    modulo.show();
    modulo.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&modulo));
    ServizioMessaggi messaggi;
    messaggi.CopioneAttivo(false);
    std::vector<QWidget*> sopra;
    auto Rispondi = [&] {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            sopra.push_back(box ? box->parentWidget() : nullptr);
            if (box) box->done(QMessageBox::Retry);
        });
    };
    Rispondi();
    EXPECT_EQ(messaggi.Mostra("uno", "T", Pulsanti::RiprovaAnnulla), Risposta::Riprova);
    QApplication::setActiveWindow(nullptr);
    Rispondi();
    EXPECT_EQ(messaggi.Mostra("due", "T", Pulsanti::RiprovaAnnulla), Risposta::Riprova);
    EXPECT_EQ(sopra, (std::vector<QWidget*>{&modulo, &modulo}));
}

}  // namespace
