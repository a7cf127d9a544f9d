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

// A path cannot wrap: a long one (up to 4,000 bytes) would make the box as
// wide as the screen. It is elided in the middle; the whole message is under
// the box's details.
constexpr int kQuotedWidthPx = 420;

QString elideQuoted(const QString& text, const QFontMetrics& metrics)
{
    const qsizetype open = text.indexOf(QLatin1Char('"'));
    const qsizetype close = text.lastIndexOf(QLatin1Char('"'));
    if (open < 0 || close <= open + 1)
        return text;
    const QString quoted = text.mid(open + 1, close - open - 1);
    const QString elided = metrics.elidedText(quoted, Qt::ElideMiddle, kQuotedWidthPx);
    return elided == quoted ? text : text.left(open + 1) + elided + text.mid(close);
}

void showMessageBox(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::NoButton, parent);
    if (const QString shown = elideQuoted(text, box.fontMetrics()); shown != text) {
        box.setText(shown);
        box.setDetailedText(text);
    }
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
