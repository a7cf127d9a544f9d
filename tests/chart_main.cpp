// Entry point of the chart's tests: a QGuiApplication on the offscreen
// platform (unless the caller chose one), then GoogleTest. No widgets: the
// chart's scene must draw without them, as the checker's plots do.
#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
