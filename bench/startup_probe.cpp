// Starts one window, waits for its first paint and exits: either the real main
// window (without the start-up warning nobody could answer) or, as the floor,
// a minimal Qt Widgets program with a text box and a 1000 x 700 px painted widget.
#include <QApplication>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>

#ifndef POTENCOR_MINIMAL
#include "ui/chart.h"
#include "ui/error_report.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/translations.h"
#endif

namespace {

// Quits at the first paint of the watched widget, once the event loop is idle.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};

class Canvas : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), Qt::white);
        for (int x = 27; x < 990; x += 22)
            p.drawLine(x, 1, x, 678);
        for (int y = 1; y < 678; y += 22)
            p.drawLine(27, y, 989, y);
        p.drawText(10, 690, QStringLiteral("0"));
    }
};

} // namespace

int main(int argc, char** argv)
{
#ifdef POTENCOR_MINIMAL
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(1246, 775);
    auto* canvas = new Canvas;
    canvas->setParent(&window);
    canvas->setGeometry(0, 0, 1000, 700);
    auto* memo = new QPlainTextEdit(&window);
    memo->setGeometry(1014, 32, 227, 738);
    QWidget* watched = canvas;
#else
    potencor::ui::Application app(argc, argv);
    potencor::ui::installFontSubstitutions();
    potencor::ui::installQtTranslations(app);
    potencor::ui::TForm1 window(potencor::ui::TForm1::Options{.showStartupWarning = false});
    QWidget* watched = window.Chart1;
#endif
    FirstPaint probe;
    watched->installEventFilter(&probe);
    window.show();
    return app.exec();
}
