// The main window's per-event work: the mouse-move readout, and appending and
// undoing a measurement at short and long protocols, the protocol box's share
// of that, and the floor Qt's text document sets under it.
#include "ui/chart.h"
#include "ui/mainwindow.h"
#include "work/protocol_document.h"
#include "work/workbench.h"

#include <QApplication>
#include <QCursor>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <benchmark/benchmark.h>

using potencor::ui::TForm1;

namespace {

TForm1* form()
{
    static TForm1* f = [] {
        auto* w = new TForm1(TForm1::Options{.showStartupWarning = false});
        w->show();
        QCursor::setPos(w->Chart1->mapToGlobal(QPoint(508, 340)));
        return w;
    }();
    return f;
}

void BM_MouseMoveReadout(benchmark::State& state)
{
    TForm1* f = form();
    for (auto _ : state)
        f->Chart1MouseMove();
}
BENCHMARK(BM_MouseMoveReadout);

// One measurement and its undo on a protocol already holding N lines: the
// growth from 10 to 100,000 lines shows whether anything walks the protocol.
void BM_MeasureAndUndo(benchmark::State& state)
{
    TForm1* f = form();
    while (f->work().session().count() > 0)
        f->Button3Click();
    for (int i = 0; i < state.range(0); ++i)
        f->Chart1Click();
    for (auto _ : state) {
        f->Chart1Click();
        f->Button3Click();
    }
    state.counters["lines"] = static_cast<double>(f->work().session().count());
}
BENCHMARK(BM_MeasureAndUndo)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The same as a student has it: the points spread over the plot (a lattice
// of 90 x 60 places, 10 px apart, filled over and over), and the event loop
// turning after each click as between a student's clicks, so that the
// repaints of the chart and the protocol box are timed too. The setup adds
// its points without repaints between them.
void BM_MeasureAndUndoRepainted(benchmark::State& state)
{
    TForm1* f = form();
    while (f->work().session().count() > 0)
        f->Button3Click();
    const QPoint origin = f->Chart1->mapToGlobal(QPoint(60, 40));
    for (int i = 0; i < state.range(0); ++i) {
        QCursor::setPos(origin + QPoint(i % 90 * 10, i / 90 % 60 * 10));
        f->Chart1Click();
    }
    QCursor::setPos(f->Chart1->mapToGlobal(QPoint(508, 340)));
    QCoreApplication::processEvents();
    for (auto _ : state) {
        f->Chart1Click();
        QCoreApplication::processEvents();
        f->Button3Click();
        QCoreApplication::processEvents();
    }
    state.counters["lines"] = static_cast<double>(f->work().session().count());
}
BENCHMARK(BM_MeasureAndUndoRepainted)->Arg(10)->Arg(100)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The protocol box's share of the growth above: the same two edits, without
// the rest of the handlers.
void BM_ProtocolBoxOnly(benchmark::State& state)
{
    // A document of its own in the same box, so the box's layout work counts.
    QPlainTextEdit* memo = form()->Memo1;
    potencor::work::ProtocolDocument protocol;
    protocol.document()->setDocumentLayout(new QPlainTextDocumentLayout(protocol.document()));
    memo->setDocument(protocol.document());
    const QString line = QStringLiteral("12345: x=21.425см y=14.978см phi=6.321 В");
    for (int i = 0; i < state.range(0); ++i)
        protocol.appendLine(line);
    for (auto _ : state) {
        protocol.appendLine(line);
        protocol.removeLastLine();
    }
    memo->setDocument(form()->work().protocol());
}
BENCHMARK(BM_ProtocolBoxOnly)->Arg(10)->Arg(100)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The floor under both: Qt's text document alone (plain-text layout, no
// widget), given the same two edits. Its lookups walk trees that deepen with
// the line count, so this is as flat as a protocol box built on it can be.
void BM_QtTextDocumentFloor(benchmark::State& state)
{
    QTextDocument doc;
    doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
    doc.setDefaultFont(form()->Memo1->font());
    doc.setUndoRedoEnabled(false);
    const QString line = QStringLiteral("12345: x=21.425см y=14.978см phi=6.321 В");
    const auto append = [&] {
        QTextCursor c(&doc);
        c.beginEditBlock();
        c.movePosition(QTextCursor::End);
        c.insertText(line);
        c.insertBlock();
        c.endEditBlock();
    };
    for (int i = 0; i < state.range(0); ++i)
        append();
    for (auto _ : state) {
        append();
        QTextCursor c(&doc);
        c.beginEditBlock();
        c.setPosition(doc.lastBlock().previous().position());
        c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        c.endEditBlock();
    }
}
BENCHMARK(BM_QtTextDocumentFloor)->Arg(10)->Arg(100)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace

