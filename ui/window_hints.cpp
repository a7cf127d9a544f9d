#include "ui/window_hints.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace potencor::ui {

namespace {

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

void keepOffTaskbar(WId window)
{
    // The offscreen platform may offer the X11 interface without a connection.
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 && QGuiApplication::platformName() == QLatin1String("xcb") ? x11->connection() : nullptr;
    if (!c || window == 0)
        return;
    const auto id = static_cast<xcb_window_t>(window);
    const xcb_atom_t state = internAtom(c, "_NET_WM_STATE");
    const xcb_atom_t skip = internAtom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skip == XCB_ATOM_NONE)
        return;
    // Keep what is there already; Qt adds its own states (stays on top) to
    // this list when it maps the window.
    std::vector<xcb_atom_t> atoms;
    if (xcb_get_property_reply_t* reply = xcb_get_property_reply(
            c, xcb_get_property(c, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr)) {
        if (reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
            const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
            atoms.assign(data, data + xcb_get_property_value_length(reply) / sizeof(xcb_atom_t));
        }
        std::free(reply);
    }
    for (xcb_atom_t a : atoms)
        if (a == skip)
            return;
    atoms.push_back(skip);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(atoms.size()), atoms.data());
    xcb_flush(c);
}

} // namespace potencor::ui
