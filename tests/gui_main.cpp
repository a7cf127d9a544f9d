// Entry point of the tests of the layers below the windows (the chart's scene,
// the owner of the work): a QGuiApplication on the offscreen platform (unless
// the caller chose one), then GoogleTest. No widgets: those layers must work
// without them, as the checker's plots do.
#include <QGuiApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Journals made by the tests stay here, never in the user's state folder.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
