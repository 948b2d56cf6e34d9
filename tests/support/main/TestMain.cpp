// Every test program runs inside a QApplication on the offscreen platform,
// with its own registry file so no test touches the user's settings.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen"
                                                                      : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir registryDir;
    if (qEnvironmentVariableIsEmpty("QUORBEL_REGISTRY"))
        qputenv("QUORBEL_REGISTRY", (registryDir.path() + "/registry.ini").toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
