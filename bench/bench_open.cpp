// Opening a large protocol and restoring a large session, each in a process
// of its own so that its peak memory is its own: a protocol of 1,000,000
// measurement lines opened in the window, the same session restored from its
// recovery journal at start-up, and a protocol of one 10 MB line. Prints the
// time until the window has painted it, the longest the window's event loop
// went without turning (how long the window was frozen) and the process's
// peak memory, beside an empty window's.
//   bench_open            all cases
//   bench_open CASE       one of them: empty, open, restore, longline
//   bench_open --make DIR then bench_open --probe CASE DIR: the files made
//                         once and one case run in this process (to profile it)
#include "core/journal.h"
#include "core/session.h"
#include "export/protocol_file.h"
#include "ui/chart.h"
#include "ui/mainwindow.h"
#include "work/workbench.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using potencor::ui::TForm1;

namespace {

constexpr int kLines = 1'000'000;

QString protocolText(int lines)
{
    QString text;
    text.reserve(lines * 44);
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("%1: x=%2.%3см y=%4.500см phi=6.300 В\r\n")
                    .arg(i)
                    .arg(i % 42)
                    .arg(i % 1000, 3, 10, QLatin1Char('0'))
                    .arg(i % 30);
    return text;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::exit(2);
}

// The longest the event loop went without running a 5 ms timer: how long the
// window could not repaint or take input.
class StallMeter {
public:
    StallMeter()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longestMs_ = std::max(longestMs_, since_.restart());
        });
        since_.start();
        timer_.start();
    }
    qint64 longestMs() { return std::max(longestMs_, since_.elapsed()); }

private:
    QTimer timer_;
    QElapsedTimer since_;
    qint64 longestMs_ = 0;
};

void exposed(TForm1& form)
{
    while (!form.windowHandle() || !form.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void painted(TForm1& form)
{
    form.repaint();
    QApplication::processEvents();
}

// Runs in the child: prints "seconds stallMs" for the case.
int probe(const std::string& which, const QString& dir)
{
    // The restore case's own folder holds the journal; the others start empty.
    const QString state = dir + QStringLiteral("/state-") + QString::fromStdString(which);
    QDir().mkpath(state);
    TForm1::Options options{.showStartupWarning = false, .recovery = true, .stateDirectory = state};
    if (which == "restore") {
        // Whatever asks first is the recovery offer: restore.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == QStringLiteral("Восстановить"))
                        b->click();
        });
        answer.start(1);
        StallMeter stalls;
        QElapsedTimer t;
        t.start();
        TForm1 form(options);
        form.show();
        exposed(form);
        painted(form);
        const double s = t.nsecsElapsed() / 1e9;
        if (form.work().session().points().size() != kLines)
            return 3;
        std::printf("%.2f %lld\n", s, static_cast<long long>(stalls.longestMs()));
        return 0;
    }
    TForm1 form(options);
    form.show();
    exposed(form);
    painted(form);
    StallMeter stalls;
    QElapsedTimer t;
    t.start();
    if (which == "open" || which == "longline") {
        if (!form.openProtocolFile(dir + QStringLiteral("/%1.txt").arg(QString::fromStdString(which))))
            return 3;
        painted(form);
    }
    const double s = t.nsecsElapsed() / 1e9;
    std::printf("%.2f %lld\n", s, static_cast<long long>(stalls.longestMs()));
    return 0;
}

struct Result {
    std::string out;
    long peakMiB;
};

Result runChild(const char* self, const std::string& which, const std::string& dir)
{
    int fds[2];
    if (pipe(fds) != 0)
        std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        execl(self, self, "--probe", which.c_str(), dir.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buf[256];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", which.c_str(), status);
        std::exit(1);
    }
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return {out, usage.ru_maxrss / 1024};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && std::string(argv[1]) == "--probe") {
        QApplication app(argc, argv);
        return probe(argv[2], QString::fromLocal8Bit(argv[3]));
    }

    QTemporaryDir temporary;
    const bool makeOnly = argc == 3 && std::string(argv[1]) == "--make";
    const QDir dir(makeOnly ? QString::fromLocal8Bit(argv[2]) : temporary.path());
    const std::string where = QFile::encodeName(dir.path()).toStdString();
    {
        // The files are made by a QCoreApplication-free part of the program:
        // the writer's encoding and the journal's format.
        const QString text = protocolText(kLines);
        writeFile(dir.filePath(QStringLiteral("open.txt")),
                  potencor::exporting::encodeProtocol(text, potencor::text::Encoding::Ansi));
        QString journalText = text;
        journalText.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const QByteArray utf8 = text.toUtf8();
        const potencor::Session session =
            potencor::Session::fromProtocol(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
        QDir().mkpath(dir.filePath(QStringLiteral("state-restore")));
        const std::string journal =
            potencor::journal::header() + potencor::journal::snapshot({journalText.toStdU16String(), session});
        // A journal left by a program that has gone: no one holds its lock.
        writeFile(dir.filePath(QStringLiteral("state-restore/session-999999-1.journal")),
                  QByteArray(journal.data(), static_cast<qsizetype>(journal.size())));
        writeFile(dir.filePath(QStringLiteral("longline.txt")),
                  QByteArray(10 << 20, 'x') + QByteArrayLiteral("\r\n"));
    }

    if (makeOnly)
        return 0;
    const std::string only = argc > 1 ? argv[1] : "";
    std::printf("%-44s %9s %13s %10s\n", "case", "seconds", "longest stall", "peak");
    const struct {
        const char* which;
        const char* what;
    } cases[] = {
        {"empty", "an empty window (for comparison)"},
        {"open", "open 1,000,000 lines (ANSI, 43 MB)"},
        {"restore", "start and restore 1,000,000 lines"},
        {"longline", "open one line of 10 MB"},
    };
    for (const auto& c : cases) {
        if (!only.empty() && only != c.which)
            continue;
        const Result r = runChild(argv[0], c.which, where);
        double s = 0;
        long long stall = 0;
        std::sscanf(r.out.c_str(), "%lf %lld", &s, &stall);
        std::printf("%-44s %8.2fs %11lldms %7ldMiB\n", c.what, s, stall, r.peakMiB);
        std::fflush(stdout);
    }
    return 0;
}
