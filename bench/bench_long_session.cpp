// A long lab session in one process: 100,000 measurements, then 100,000
// undos. Prints the time of each block of 10,000 (it should stay flat, so the
// total grows linearly) and the resident memory before, at the peak and after.
#include "ui/chart.h"
#include "ui/mainwindow.h"
#include "work/workbench.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QPlainTextEdit>

#include <malloc.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>

using potencor::ui::TForm1;

namespace {

long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// What the program holds from the allocator: small blocks in the arena plus
// large ones, which glibc serves with mmap and leaves out of uordblks.
std::size_t heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int total = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int block = total / 10;

    TForm1 form(TForm1::Options{.showStartupWarning = false});
    form.show();
    QApplication::processEvents();
    QCursor::setPos(form.Chart1->mapToGlobal(QPoint(508, 340)));
    // Warm up first, so that glyph caches and the like count as "before".
    for (int i = 0; i < 100; ++i)
        form.Chart1Click();
    QApplication::processEvents();
    for (int i = 0; i < 100; ++i)
        form.Button3Click();
    QApplication::processEvents();
    const std::size_t heapBefore = heapInUse();
    const long before = residentKiB();

    using clock = std::chrono::steady_clock;
    auto runBlocks = [&](const char* what, auto step) {
        std::printf("%s, ms per block of %d:", what, block);
        double sum = 0;
        for (int b = 0; b < 10; ++b) {
            const auto t0 = clock::now();
            for (int i = 0; i < block; ++i)
                step();
            QApplication::processEvents(); // the repaints a user would see
            const double ms = std::chrono::duration<double, std::milli>(clock::now() - t0).count();
            sum += ms;
            std::printf(" %.0f", ms);
        }
        std::printf("  (total %.0f ms)\n", sum);
    };
    runBlocks("measure", [&] { form.Chart1Click(); });
    const long peak = residentKiB();
    const std::size_t heapPeak = heapInUse();
    runBlocks("undo   ", [&] { form.Button3Click(); });
    const long after = residentKiB();
    const std::size_t heapAfter = heapInUse();

    std::printf("end state: count %d, points %d, protocol %s\n", form.work().session().count(), form.Chart1->Series1()->Count(),
                form.Memo1->toPlainText().isEmpty() ? "empty" : "NOT EMPTY");
    std::printf("resident memory: before %ld KiB, after measurements %ld KiB, after undos %ld KiB (%+.1f %% of before)\n",
                before, peak, after, 100.0 * (after - before) / before);
    // Resident memory also counts what the allocator keeps for reuse; the heap
    // in use is what the program still holds.
    std::printf("heap in use: before %zu KiB, after measurements %zu KiB, after undos %zu KiB (%+.1f %% of before)\n",
                heapBefore / 1024, heapPeak / 1024, heapAfter / 1024,
                100.0 * (static_cast<double>(heapAfter) - heapBefore) / heapBefore);
    return form.work().session().count() == 0 && form.Memo1->toPlainText().isEmpty() ? 0 : 1;
}
