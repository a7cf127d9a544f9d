#pragma once
// The program's error report: any error that leaves an event handler is shown
// in one modal box and the program goes on with the next event.
#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

class QMessageBox;
class QWidget;

namespace potencor::ui {

// "potencor" -> "Potencor": the executable's base name, first character upper,
// the rest lower case.
QString programTitle(const QString& executablePath);

// The message with a full stop appended, unless it already ends in one or in a
// character with a lower code (so "!" and a closing quote get none).
QString reportText(const QString& message);

// Frames one of the program's message boxes (an error, a question, the
// start-up warning) as a dialog with a title bar and no minimise or maximise
// button, which a window manager would otherwise give it; a close box only
// where closing it is an answer (false: a choice must be made).
void frameMessageBox(QMessageBox& box, bool closeBox = true);

// Shows the report for the error currently being handled (call from a catch).
void reportCurrentException(QWidget* parent);
void report(QWidget* parent, const QString& message);

// Where reports go: a modal critical message box unless replaced (tests record them).
using Presenter = std::function<void(QWidget* parent, const QString& caption, const QString& text)>;
void setPresenter(Presenter presenter); // empty restores the message box

// Runs a handler; an error leaving it is reported and the rest of it skipped.
// Returns false when it failed.
template <class F>
bool guarded(QWidget* parent, F&& handler)
{
    try {
        handler();
        return true;
    } catch (...) {
        reportCurrentException(parent);
        return false;
    }
}

// Catches what escapes any event handler, so that no error ends the program.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace potencor::ui
