// Chart frame cost: our painted chart against the same scene built with Qt
// Charts, both rendered into a 1000 x 700 image on the offscreen platform.
//
//   Frame/<side>/<points>/<labels>  a frame with nothing changed (a repaint);
//   Cold/Potencor/<points>/<labels> a first frame, with every cache empty and
//                                   the memory it paints in fresh from the
//                                   system, as at start-up;
//   AddPoint/<side>/1000/<labels>   one point appended, then a frame;
//   Undo/<side>/1000/<labels>       the last point removed, then a frame: for
//                                   us all points and labels redrawn over the
//                                   cached background.
//
// After the runs the Qt Charts / Potencor ratios of CPU time are printed: on a
// shared machine CPU time is the steadier figure, and both sides run on one
// thread.
#include "ui/chart.h"

#include "core/calibration.h"
#include "core/field.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#ifdef POTENCOR_BENCH_QTCHARTS
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#endif

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>

namespace {

using potencor::ui::Series;
using potencor::ui::TChart;

constexpr int kAddedPoints = 100; // iterations of the AddPoint runs, so both end at the same N

// Measured points spread over the plot, the same for every run.
QVector<QPointF> randomPoints(int n, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> x(0.0, 42.83);
    std::uniform_real_distribution<double> y(0.0, 30.0);
    QVector<QPointF> points;
    points.reserve(n);
    for (int i = 0; i < n; ++i)
        points.push_back(QPointF(x(rng), y(rng)));
    return points;
}

std::unique_ptr<TChart> makeChart(int n, bool labels)
{
    auto chart = std::make_unique<TChart>(
        potencor::calibration::chartMapping(potencor::calibration::defaults()));
    potencor::ui::addElectrodeOutlines(chart->scene());
    for (const QPointF& p : randomPoints(n))
        chart->Series1()->AddXY(p.x(), p.y());
    chart->setMarksVisible(labels);
    return chart;
}

void Frame_Potencor(benchmark::State& state)
{
    auto chart = makeChart(static_cast<int>(state.range(0)), state.range(1) != 0);
    benchmark::DoNotOptimize(chart->renderImage(1.0)); // the first frame builds the caches
    for (auto _ : state)
        benchmark::DoNotOptimize(chart->renderImage(1.0));
}

void Cold_Potencor(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto chart = makeChart(static_cast<int>(state.range(0)), state.range(1) != 0);
        state.ResumeTiming();
        benchmark::DoNotOptimize(chart->renderImage(1.0));
        state.PauseTiming();
        chart.reset();
        // Otherwise the allocator keeps the last chart's pages for the next
        // one, which a program starting up or a chart at a new display scale
        // does not have: new pages cost a fault each.
        malloc_trim(0);
        state.ResumeTiming();
    }
}

void AddPoint_Potencor(benchmark::State& state)
{
    auto chart = makeChart(static_cast<int>(state.range(0)), state.range(1) != 0);
    benchmark::DoNotOptimize(chart->renderImage(1.0));
    const QVector<QPointF> added = randomPoints(kAddedPoints, 2);
    int i = 0;
    for (auto _ : state) {
        const QPointF& p = added[i++ % added.size()];
        chart->Series1()->AddXY(p.x(), p.y());
        benchmark::DoNotOptimize(chart->renderImage(1.0));
    }
}

void Undo_Potencor(benchmark::State& state)
{
    auto chart = makeChart(static_cast<int>(state.range(0)), state.range(1) != 0);
    benchmark::DoNotOptimize(chart->renderImage(1.0));
    Series* points = chart->Series1();
    for (auto _ : state) {
        const QPointF last = points->points().back();
        points->Delete(points->LastValueIndex());
        benchmark::DoNotOptimize(chart->renderImage(1.0));
        state.PauseTiming();
        points->AddXY(last.x(), last.y());
        state.ResumeTiming();
    }
}

#ifdef POTENCOR_BENCH_QTCHARTS

// The same picture as closely as Qt Charts draws it: fixed 1 cm axes with
// three minor ticks, a silver grid, red circles with black rims, two black
// 4 px outlines. Qt Charts 6.4 cannot label a point by its index; the labels
// show x instead.
class QtChartsScene {
public:
    QtChartsScene(int n, bool labels)
    {
        auto* chart = new QChart;
        chart->legend()->hide();
        chart->setMargins(QMargins(0, 0, 10, 0));
        chart->setBackgroundRoundness(0);
        QFont font(QStringLiteral("Arial"));
        font.setPointSize(8);

        points_ = new QScatterSeries;
        points_->setMarkerShape(QScatterSeries::MarkerShapeCircle);
        points_->setMarkerSize(7);
        points_->setColor(Qt::red);
        points_->setBorderColor(Qt::black);
        points_->setPointLabelsVisible(labels);
        points_->setPointLabelsFormat(QStringLiteral("@xPoint"));
        points_->setPointLabelsFont(font);
        points_->setPointLabelsClipping(false);
        for (const QPointF& p : randomPoints(n))
            points_->append(p);
        chart->addSeries(points_);

        const auto outlines = potencor::field::electrodeOutlines();
        for (const auto* outline : {&outlines.left, &outlines.right}) {
            auto* line = new QLineSeries;
            line->setPen(QPen(Qt::black, 4));
            for (const auto& p : *outline)
                line->append(static_cast<double>(p.x), static_cast<double>(p.y));
            chart->addSeries(line);
        }

        auto* x = makeAxis(42.83, font);
        auto* y = makeAxis(30.0, font);
        chart->addAxis(x, Qt::AlignBottom);
        chart->addAxis(y, Qt::AlignLeft);
        for (QAbstractSeries* series : chart->series()) {
            series->attachAxis(x);
            series->attachAxis(y);
        }

        view_.setChart(chart);
        view_.setRenderHint(QPainter::Antialiasing);
        view_.resize(TChart::kWidthPx, TChart::kHeightPx);
        view_.show();
        QCoreApplication::processEvents();
    }

    QImage frame()
    {
        QCoreApplication::processEvents(); // pending layout after a change
        QImage image(TChart::kWidthPx, TChart::kHeightPx, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        view_.render(&p, QRectF(image.rect()), view_.viewport()->rect());
        return image;
    }

    void append(QPointF p) { points_->append(p); }
    QPointF takeLast()
    {
        const QPointF last = points_->at(points_->count() - 1);
        points_->remove(points_->count() - 1);
        return last;
    }

private:
    static QValueAxis* makeAxis(double max, const QFont& font)
    {
        auto* axis = new QValueAxis;
        axis->setRange(0, max);
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
        axis->setTickInterval(1);
        axis->setMinorTickCount(3);
        axis->setLabelFormat(QStringLiteral("%.0f"));
        axis->setLabelsFont(font);
        axis->setGridLineColor(QColor(192, 192, 192));
        return axis;
    }

    QChartView view_;
    QScatterSeries* points_ = nullptr;
};

void Frame_QtCharts(benchmark::State& state)
{
    QtChartsScene scene(static_cast<int>(state.range(0)), state.range(1) != 0);
    benchmark::DoNotOptimize(scene.frame());
    for (auto _ : state)
        benchmark::DoNotOptimize(scene.frame());
}

void AddPoint_QtCharts(benchmark::State& state)
{
    QtChartsScene scene(static_cast<int>(state.range(0)), state.range(1) != 0);
    benchmark::DoNotOptimize(scene.frame());
    const QVector<QPointF> added = randomPoints(kAddedPoints, 2);
    int i = 0;
    for (auto _ : state) {
        scene.append(added[i++ % added.size()]);
        benchmark::DoNotOptimize(scene.frame());
    }
}

void Undo_QtCharts(benchmark::State& state)
{
    QtChartsScene scene(static_cast<int>(state.range(0)), state.range(1) != 0);
    benchmark::DoNotOptimize(scene.frame());
    for (auto _ : state) {
        const QPointF last = scene.takeLast();
        benchmark::DoNotOptimize(scene.frame());
        state.PauseTiming();
        scene.append(last);
        state.ResumeTiming();
    }
}

#endif

void frameArgs(benchmark::internal::Benchmark* b)
{
    for (int n : {0, 1000, 10000})
        for (int labels : {0, 1})
            b->Args({n, labels});
    b->Unit(benchmark::kMicrosecond);
}

void addPointArgs(benchmark::internal::Benchmark* b)
{
    for (int labels : {0, 1})
        b->Args({1000, labels});
    b->Unit(benchmark::kMicrosecond)->Iterations(kAddedPoints);
}

void undoArgs(benchmark::internal::Benchmark* b)
{
    for (int labels : {0, 1})
        b->Args({1000, labels});
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(Frame_Potencor)->Apply(frameArgs);
BENCHMARK(Cold_Potencor)->Apply(frameArgs);
BENCHMARK(AddPoint_Potencor)->Apply(addPointArgs);
BENCHMARK(Undo_Potencor)->Apply(undoArgs);
#ifdef POTENCOR_BENCH_QTCHARTS
BENCHMARK(Frame_QtCharts)->Apply(frameArgs);
BENCHMARK(AddPoint_QtCharts)->Apply(addPointArgs);
BENCHMARK(Undo_QtCharts)->Apply(undoArgs);
#endif

// Console output as usual, plus the times kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatios() const
    {
        std::printf("\nQt Charts CPU time / Potencor CPU time (us):\n");
        for (const char* kind : {"Frame", "AddPoint", "Undo"}) {
            for (const auto& [name, qtTime] : times_) {
                const std::string qtPrefix = std::string(kind) + "_QtCharts/";
                if (name.rfind(qtPrefix, 0) != 0)
                    continue;
                const std::string args = name.substr(qtPrefix.size());
                printRatio(std::string(kind) + "/" + args, qtTime,
                           std::string(kind) + "_Potencor/" + args);
                if (std::string(kind) == "Frame")
                    printRatio("Cold/" + args, qtTime, "Cold_Potencor/" + args);
            }
        }
    }

private:
    void printRatio(const std::string& label, double qtTime, const std::string& ours) const
    {
        const auto it = times_.find(ours);
        if (it == times_.end() || it->second <= 0)
            return;
        std::printf("  %-32s %7.1f x   (Qt Charts %9.1f, Potencor %8.1f)\n", label.c_str(),
                    qtTime / it->second, qtTime, it->second);
    }

    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
