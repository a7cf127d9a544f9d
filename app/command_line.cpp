#include "command_line.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace potencor::app {
namespace {

// Qt's own options, as QGuiApplication, QApplication and the X11 platform
// read them (with one dash or two), and whether each takes a value.
struct QtOption {
    std::string_view name;
    bool takesValue;
};
constexpr std::array kQtOptions{
    QtOption{"platform", true},       QtOption{"platformpluginpath", true}, QtOption{"platformtheme", true},
    QtOption{"plugin", true},         QtOption{"qwindowgeometry", true},    QtOption{"qwindowicon", true},
    QtOption{"qwindowtitle", true},   QtOption{"reverse", false},           QtOption{"session", true},
    QtOption{"display", true},        QtOption{"geometry", true},           QtOption{"style", true},
    QtOption{"stylesheet", true},     QtOption{"widgetcount", false},       QtOption{"nograb", false},
    QtOption{"dograb", false},        QtOption{"sync", false},              QtOption{"name", true},
    QtOption{"title", true},          QtOption{"visual", true},             QtOption{"ncols", true},
    QtOption{"cmap", false},          QtOption{"fontengine", true},         QtOption{"graphicssystem", true},
};

constexpr std::string_view kHelp =
    "Usage: potencor [OPTION]...\n"
    "Virtual laboratory exercise: the electrostatic potential between two charged\n"
    "cylinders. Click the chart to measure; the protocol can be saved and checked\n"
    "with potencor-check.\n"
    "\n"
    "  -h, --help                  show this help and exit\n"
    "  -v, --version               show the version and the licence and exit\n"
    "\n"
    "Qt's options that matter here:\n"
    "  -platform NAME[:OPTIONS]    the display system: xcb (X11), wayland, offscreen;\n"
    "                              also QT_QPA_PLATFORM\n"
    "  -display DISPLAY            the X11 display to use (default $DISPLAY)\n"
    "  -style NAME                 the widget style, e.g. Fusion\n"
    "  -reverse                    right-to-left layout\n"
    "  -qwindowgeometry GEOMETRY   the main window's place, e.g. +100+50\n"
    "The display scale is QT_SCALE_FACTOR; keep it at 100 % for the exercise.\n"
    "\n"
    "While it runs, a recovery journal in $XDG_STATE_HOME/potencor keeps the work;\n"
    "after a crash the next start offers it back. See potencor(1).\n";

std::string versionText(const char* version)
{
    return std::string("potencor ") + version
        + "\nCopyright (c) 2026 The Potencor developers\n"
          "License: MIT <https://opensource.org/licenses/MIT>.\n"
          "This is free software: you are free to change and redistribute it.\n"
          "There is NO WARRANTY, to the extent permitted by law.\n";
}

const QtOption* qtOption(std::string_view name)
{
    const auto it = std::find_if(kQtOptions.begin(), kQtOptions.end(), [&](const QtOption& o) { return o.name == name; });
    return it == kQtOptions.end() ? nullptr : &*it;
}

CommandLine error(const std::string& what)
{
    return {CommandLine::Action::Exit, 2, {},
            "potencor: " + what + "\nTry 'potencor --help' for more information.\n"};
}

} // namespace

CommandLine readCommandLine(int argc, const char* const* argv, const char* version)
{
    // Qt reads its options wherever they stand; the first of ours decides.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help" || arg == "-help")
            return {CommandLine::Action::Exit, 0, std::string(kHelp), {}};
        if (arg == "-v" || arg == "--version")
            return {CommandLine::Action::Exit, 0, versionText(version), {}};
        if (arg.size() < 2 || arg[0] != '-')
            return error("unexpected argument '" + std::string(arg) + "': the program opens no files from the command line");
        const QtOption* option = qtOption(arg.substr(arg.starts_with("--") ? 2 : 1));
        if (!option)
            return error("unrecognized option '" + std::string(arg) + "'");
        if (option->takesValue) {
            if (i + 1 >= argc)
                return error("option '" + std::string(arg) + "' requires an argument");
            ++i;
        }
    }
    return {};
}

} // namespace potencor::app
