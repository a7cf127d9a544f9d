#pragma once
// SIGTERM, SIGHUP and SIGINT as events: the handler runs on the event loop,
// where it may do anything a click may (a signal handler may not).
#include <functional>

class QObject;

namespace potencor::ui {

// A write that fails is the writer's to report: past a file-size limit
// (SIGXFSZ) or into a FIFO whose reader has gone (SIGPIPE) it is to fail with
// EFBIG or EPIPE, not end the program with the student's work unsaved. For
// the whole process, before any thread starts.
void ignoreWriteSignals();

// Installs the signal handlers; `handler` runs once per signal received,
// for as long as `context` lives.
void onTerminationSignal(QObject* context, std::function<void()> handler);

} // namespace potencor::ui
