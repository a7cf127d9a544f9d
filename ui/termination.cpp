#include "ui/termination.h"

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace potencor::ui {
namespace {

int pipeEnds[2] = {-1, -1};

extern "C" void forwardSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[0], &byte, 1);
    errno = saved;
}

} // namespace

void ignoreWriteSignals()
{
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

void onTerminationSignal(QObject* context, std::function<void()> handler)
{
    if (pipeEnds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeEnds) != 0)
        return;
    auto* notifier = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [handler = std::move(handler)] {
        char bytes[16];
        while (::read(pipeEnds[1], bytes, sizeof bytes) > 0) {
        }
        handler();
    });
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

} // namespace potencor::ui
