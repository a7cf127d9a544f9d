#include "check/plot.h"

#include "core/calibration.h"
#include "core/field.h"
#include "ui/chart.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QImage>
#include <QImageWriter>

#include <cstdio>
#include <memory>

namespace potencor::check {

ChartPlotter::ChartPlotter() = default;
ChartPlotter::~ChartPlotter() = default;

std::optional<std::string> ChartPlotter::operator()(const FileReport& report, const std::string& pngPath)
{
    if (!app_) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "potencor-check";
        static char* argv[] = {name, nullptr};
        // Start-up notes (a missing XDG_RUNTIME_DIR and the like) are no
        // concern of a command-line run.
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& msg) {
                if (type == QtCriticalMsg || type == QtFatalMsg)
                    std::fprintf(stderr, "%s\n", qPrintable(msg));
            });
        app_ = std::make_unique<QApplication>(argc, argv);
        qInstallMessageHandler(previous);
        ui::installFontSubstitutions();
    }
    ui::TChart chart(calibration::chartMapping(calibration::defaults()));
    const field::Outlines outlines = field::electrodeOutlines();
    for (int i = 0; i < field::kOutlinePoints; ++i) {
        chart.Series2()->AddXY(static_cast<double>(outlines.left[i].x), static_cast<double>(outlines.left[i].y));
        chart.Series3()->AddXY(static_cast<double>(outlines.right[i].x), static_cast<double>(outlines.right[i].y));
    }
    for (const PointCm& p : report.points)
        chart.Series1()->AddXY(static_cast<double>(p.x), static_cast<double>(p.y), p.number);
    chart.setMarksVisible(true);

    QImageWriter writer(QString::fromStdString(pngPath), "png");
    if (!writer.write(chart.renderImage()))
        return writer.errorString().toStdString();
    return std::nullopt;
}

} // namespace potencor::check
