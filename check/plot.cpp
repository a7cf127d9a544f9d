#include "check/plot.h"

#include "core/calibration.h"
#include "core/field.h"
#include "ui/chart.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QImage>
#include <QImageWriter>

#include <memory>

namespace potencor::check {
namespace {

void startQt()
{
    static std::unique_ptr<QApplication> app;
    if (app)
        return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "potencor-check";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
    ui::installFontSubstitutions();
}

} // namespace

std::optional<std::string> plotProtocol(const FileReport& report, const std::string& pngPath)
{
    startQt();
    ui::TChart chart(calibration::chartMapping(calibration::defaults()));
    const field::Outlines outlines = field::electrodeOutlines();
    for (int i = 0; i < field::kOutlinePoints; ++i) {
        chart.Series2()->AddXY(static_cast<double>(outlines.left[i].x), static_cast<double>(outlines.left[i].y));
        chart.Series3()->AddXY(static_cast<double>(outlines.right[i].x), static_cast<double>(outlines.right[i].y));
    }
    for (const PointCm& p : report.points)
        chart.Series1()->AddXY(static_cast<double>(p.x), static_cast<double>(p.y));
    chart.setMarksVisible(true);

    QImageWriter writer(QString::fromStdString(pngPath), "png");
    if (!writer.write(chart.renderImage()))
        return writer.errorString().toStdString();
    return std::nullopt;
}

} // namespace potencor::check
