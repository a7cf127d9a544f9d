#pragma once
// SIGTERM, SIGHUP and SIGINT as events: the handler runs on the event loop,
// where it may do anything a click may (a signal handler may not).
#include <functional>

class QObject;

namespace potencor::ui {

// Installs the signal handlers; `handler` runs once per signal received,
// for as long as `context` lives.
void onTerminationSignal(QObject* context, std::function<void()> handler);

} // namespace potencor::ui
