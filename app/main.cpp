// Potencor: virtual measurement of the electrostatic potential between two
// charged cylinders.
#include "ui/error_report.h"
#include "ui/mainwindow.h"

int main(int argc, char** argv)
{
    potencor::ui::Application app(argc, argv);
    potencor::ui::TForm1 form;
    form.show();
    return app.exec();
}
