// Potencor: virtual measurement of the electrostatic potential between two
// charged cylinders.
#include "ui/Dialog/Dialog.h"
#include "ui/error_report.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/translations.h"

int main(int argc, char** argv)
{
    potencor::ui::Application app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(POTENCOR_APP_ID));
    potencor::ui::installFontSubstitutions();
    potencor::ui::installQtTranslations(app);
    potencor::ui::TForm1 form;
    // Created hidden after the main window, which owns it.
    auto* about = new potencor::ui::TForm2(&form);
    form.setAboutWindow(about);
    form.show();
    return app.exec();
}
