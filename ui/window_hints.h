#pragma once
// Window-manager hints that Qt has no portable setting for.

class QWidget;

namespace potencor::ui {

// Asks the window manager not to give `window` a task-bar entry of its own
// (_NET_WM_STATE_SKIP_TASKBAR). Must be called while the window is hidden:
// the hint is read when it is mapped, and a window manager drops it when the
// window is withdrawn, so every showing needs it anew. Does nothing where the
// platform is not X11.
void keepOffTaskbar(QWidget* window);

} // namespace potencor::ui
