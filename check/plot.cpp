#include "check/plot.h"

#include "chart/fonts.h"
#include "chart/scene.h"
#include "core/calibration.h"

#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>

#include <cstdio>
#include <memory>

namespace potencor::check {

ChartPlotter::ChartPlotter() = default;
ChartPlotter::~ChartPlotter() = default;

// The checker's pictures and the chart's scene show the same plane.
static_assert(kPlotMaxXcm == ui::kAxisMaxXcm && kPlotMaxYcm == ui::kAxisMaxYcm);

std::optional<std::string> ChartPlotter::operator()(const FileReport& report, const std::string& pngPath,
                                                    const std::vector<Equipotential>& lines)
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
        app_ = std::make_unique<QGuiApplication>(argc, argv);
        qInstallMessageHandler(previous);
        ui::installFontSubstitutions();
    }
    ui::ChartScene scene(calibration::chartMapping(calibration::defaults()));
    ui::addElectrodeOutlines(scene);
    if (!lines.empty()) {
        QVector<QPolygonF> polylines;
        for (const Equipotential& e : lines) {
            QPolygonF cm;
            for (const PlanePoint& p : e.points)
                cm << QPointF(p.x_cm, p.y_cm);
            polylines << cm;
        }
        QVector<ui::ChartScene::BackdropLabel> labels;
        for (const LevelLabel& l : levelLabels(lines))
            labels.push_back({QPointF(l.at.x_cm, l.at.y_cm), QString::fromStdString(l.text)});
        scene.setBackdrop(std::move(polylines), std::move(labels));
    }
    for (const PointCm& p : report.points)
        scene.Series1()->AddXY(static_cast<double>(p.x), static_cast<double>(p.y), p.number);
    scene.setMarksVisible(true);

    QImageWriter writer(QString::fromStdString(pngPath), "png");
    if (!writer.write(scene.renderImage()))
        return writer.errorString().toStdString();
    return std::nullopt;
}

} // namespace potencor::check
