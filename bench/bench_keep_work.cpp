// What keeping the student's work costs: a measurement (with its undo, so the
// protocol keeps its length) with and without the recovery journal, at 10 and
// 100,000 lines; and reopening a protocol of 100,000 lines.
#include "export/protocol_file.h"
#include "ui/chart.h"
#include "ui/mainwindow.h"
#include "work/workbench.h"
#include "work/recovery.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

using potencor::ui::TForm1;

namespace {

QTemporaryDir& stateDir()
{
    static QTemporaryDir dir;
    return dir;
}

std::unique_ptr<TForm1> makeForm(bool journal)
{
    auto form = std::make_unique<TForm1>(TForm1::Options{
        .showStartupWarning = false, .recovery = journal, .stateDirectory = stateDir().path()});
    form->show();
    QCursor::setPos(form->Chart1->mapToGlobal(QPoint(508, 340)));
    return form;
}

// Each measurement's records are handed to the journal's writer at once, as
// if every click came after the previous one had reached the disk: the most
// the journal can cost the window. The disk's own time is the writer's.
void BM_MeasureAndUndo(benchmark::State& state)
{
    const bool journal = state.range(1) != 0;
    auto form = makeForm(journal);
    for (int i = 0; i < state.range(0); ++i)
        form->Chart1Click();
    if (journal)
        form->work().journal()->flushAndWait();
    for (auto _ : state) {
        form->Chart1Click();
        form->Button3Click();
        if (journal)
            form->work().journal()->flush();
    }
    state.counters["lines"] = static_cast<double>(form->work().session().count());
    if (journal)
        form->work().journal()->flushAndWait();
    state.SetLabel(journal ? "journal" : "no journal");
}
BENCHMARK(BM_MeasureAndUndo)
    ->ArgsProduct({{10, 100000}, {0, 1}})
    ->ArgNames({"lines", "journal"})
    ->Unit(benchmark::kMicrosecond);

// A protocol of 100,000 measurement lines in ANSI, opened: read, decoded,
// parsed, shown in the box and on the chart, and snapshotted for the journal.
void BM_ReopenProtocol(benchmark::State& state)
{
    QString text;
    for (int i = 0; i < state.range(0); ++i)
        text += QStringLiteral("%1: x=%2.%3см y=%4.500см phi=6.300 В\r\n")
                    .arg(i)
                    .arg(i % 42)
                    .arg(i % 1000, 3, 10, QLatin1Char('0'))
                    .arg(i % 30);
    const QString path = stateDir().filePath(QStringLiteral("large.txt"));
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(potencor::exporting::encodeProtocol(text, potencor::text::Encoding::Ansi));
    }
    auto form = makeForm(true);
    for (auto _ : state) {
        if (!form->openProtocolFile(path))
            state.SkipWithError("not opened");
        QApplication::processEvents(); // the repaint that shows it
    }
    state.counters["points"] = form->Chart1->Series1()->Count();
    form->work().journal()->flushAndWait();
}
BENCHMARK(BM_ReopenProtocol)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

