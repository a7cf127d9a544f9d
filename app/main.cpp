// Potencor: virtual measurement of the electrostatic potential between two
// charged cylinders.
#include "command_line.h"
#include "ui/Dialog/Dialog.h"
#include "ui/error_report.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/termination.h"
#include "ui/translations.h"

#include <QtGlobal>

#include <cstdio>

namespace {

// A Wayland client cannot place its windows; through XWayland the main window
// opens centred and the About window over it. Qt tries the listed platforms in
// turn, so where XWayland is missing the program still runs natively; with no
// X display xcb is not tried at all, as it could only fail with warnings. The
// user's own choice, QT_QPA_PLATFORM or -platform (which overrides it), wins.
void preferX11()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
}

} // namespace

int main(int argc, char** argv)
{
    // Answered before anything needs a display.
    const potencor::app::CommandLine command = potencor::app::readCommandLine(argc, argv, POTENCOR_VERSION);
    if (command.action == potencor::app::CommandLine::Action::Exit) {
        std::fputs(command.out.c_str(), stdout);
        std::fputs(command.err.c_str(), stderr);
        return command.status;
    }
    potencor::ui::ignoreWriteSignals();
    preferX11();
    potencor::ui::Application app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(POTENCOR_APP_ID));
    potencor::ui::installFontSubstitutions();
    potencor::ui::installQtTranslations(app);
    potencor::ui::TForm1 form;
    // Created hidden after the main window, which owns it.
    auto* about = new potencor::ui::TForm2(&form);
    form.setAboutWindow(about);
    // Asked to end by the system: the same as the close box, after the
    // recovery journal has caught up, so that a following SIGKILL loses nothing.
    potencor::ui::onTerminationSignal(&form, [&form] { form.terminationRequested(); });
    form.show();
    return app.exec();
}
