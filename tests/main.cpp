#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

#include "app/Messaggi.h"

int main(int argc, char** argv) {
    // Forms are driven without a display unless a test run asks for a real one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (as the build's test discovery does) needs no window system.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    // Tests pin the locale they depend on; the default is the office's own.
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    ServizioMessaggi::CopionePerTutti(true);
    return RUN_ALL_TESTS();
}
