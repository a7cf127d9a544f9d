#include "ui/error_report.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <new>
#include <stdexcept>

namespace potencor::ui {
namespace {

Presenter& presenter()
{
    static Presenter p;
    return p;
}

void showMessageBox(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

} // namespace

QString programTitle(const QString& executablePath)
{
    const QString base = QFileInfo(executablePath).completeBaseName();
    if (base.isEmpty())
        return base;
    return base.left(1).toUpper() + base.mid(1).toLower();
}

QString reportText(const QString& message)
{
    if (message.isEmpty() || message.back() <= QLatin1Char('.'))
        return message;
    return message + QLatin1Char('.');
}

void report(QWidget* parent, const QString& message)
{
    const QString caption = programTitle(QCoreApplication::applicationFilePath());
    const QString text = reportText(message);
    if (presenter())
        presenter()(parent, caption, text);
    else
        showMessageBox(parent, caption, text);
}

void reportCurrentException(QWidget* parent)
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        report(parent, QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        report(parent, QString::fromUtf8(e.what()));
    } catch (...) {
        report(parent, QStringLiteral("Unknown error"));
    }
}

void setPresenter(Presenter p)
{
    presenter() = std::move(p);
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentException(receiver && receiver->isWidgetType()
                                   ? static_cast<QWidget*>(receiver)->window()
                                   : nullptr);
        return false;
    }
}

} // namespace potencor::ui
