#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    // What the program remembers (log-in, trusted certificates) goes to a
    // configuration folder of this run, never the user's; and no test reaches
    // the user's secret store unless it brings one of its own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("PURGELET_TEST_SECRET_STORE"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/purgelet-test-bus");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
