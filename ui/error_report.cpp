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
// wide as the screen. Each quoted path is elided in the middle, never the
// words around it; the whole message is under the box's details.
constexpr int kQuotedWidthPx = 420;

bool opensQuote(const QString& text, qsizetype at)
{
    return at == 0 || text[at - 1].isSpace() || text[at - 1] == QLatin1Char('(');
}

// A quote ends a path where the sentence goes on: at the end, before a space
// or punctuation. One inside a file name (a"b) does not.
bool closesQuote(const QString& text, qsizetype at)
{
    return at + 1 == text.size() || text[at + 1].isSpace()
        || QStringView(u".,;:!?)").contains(text[at + 1]);
}

QString elideQuoted(const QString& text, const QFontMetrics& metrics)
{
    QString shown;
    qsizetype done = 0; // of text, copied to shown
    for (qsizetype open = text.indexOf(QLatin1Char('"')); open >= 0;) {
        if (!opensQuote(text, open)) {
            open = text.indexOf(QLatin1Char('"'), open + 1);
            continue;
        }
        qsizetype close = text.indexOf(QLatin1Char('"'), open + 1);
        while (close >= 0 && !closesQuote(text, close))
            close = text.indexOf(QLatin1Char('"'), close + 1);
        if (close < 0)
            break;
        const QString quoted = text.mid(open + 1, close - open - 1);
        shown += QStringView(text).mid(done, open + 1 - done);
        shown += metrics.elidedText(quoted, Qt::ElideMiddle, kQuotedWidthPx);
        done = close;
        open = text.indexOf(QLatin1Char('"'), close + 1);
    }
    shown += QStringView(text).mid(done);
    return shown;
}

void showMessageBox(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::NoButton, parent);
    frameMessageBox(box);
    if (const QString shown = elideQuoted(text, box.fontMetrics()); shown != text) {
        box.setText(shown);
        box.setDetailedText(text);
    }
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

} // namespace

void frameMessageBox(QMessageBox& box, bool closeBox)
{
    Qt::WindowFlags flags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (closeBox)
        flags |= Qt::WindowCloseButtonHint;
    box.setWindowFlags(flags);
}

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
