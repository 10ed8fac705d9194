#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "app/Messaggi.h"

namespace {

// The desktop of the machine running the tests must not decide what an export starts: the
// tests see an empty desktop (no associations, no applications) with the system's MIME
// database alone.
void DesktopVuoto(const QTemporaryDir& dir) {
    const QString radice = dir.path();
    QDir().mkpath(radice + "/dati");
    QFile::link("/usr/share/mime", radice + "/dati/mime");
    qputenv("XDG_DATA_DIRS", (radice + "/dati").toUtf8());
    qputenv("XDG_DATA_HOME", (radice + "/casa").toUtf8());
    qputenv("XDG_CONFIG_HOME", (radice + "/config").toUtf8());
    qputenv("XDG_CONFIG_DIRS", (radice + "/xdg").toUtf8());
}

}  // namespace

int main(int argc, char** argv) {
    // Forms are driven without a display unless a test run asks for a real one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (as the build's test discovery does) needs no window system.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QTemporaryDir desktop;
    DesktopVuoto(desktop);
    QApplication app(argc, argv);
    // Tests pin the locale they depend on; the default is the office's own.
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    ServizioMessaggi::CopionePerTutti(true);
    return RUN_ALL_TESTS();
}
