#pragma once
// Window-manager hints that Qt has no portable setting for.

#include <QWindow>

namespace potencor::ui {

// Asks the window manager not to give `window` a task-bar entry of its own
// (_NET_WM_STATE_SKIP_TASKBAR). Must be called while the window is created
// but not yet mapped (a widget's showEvent): the hint is read when it is
// mapped, and a window manager drops it when the window is withdrawn, so
// every showing needs it anew. Does nothing where the platform is not X11.
void keepOffTaskbar(WId window);

} // namespace potencor::ui
