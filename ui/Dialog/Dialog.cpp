#include "ui/Dialog/Dialog.h"

#include "ui/fonts.h"
#include "ui/window_hints.h"

#include <QApplication>
#include <QFont>
#include <QWindow>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>

// The site, author and address lines are set when the program is built.
#ifndef POTENCOR_ABOUT_URL
#error "POTENCOR_ABOUT_URL must be defined by the build"
#endif
#ifndef POTENCOR_ABOUT_AUTHOR
#error "POTENCOR_ABOUT_AUTHOR must be defined by the build"
#endif
#ifndef POTENCOR_ABOUT_EMAIL
#error "POTENCOR_ABOUT_EMAIL must be defined by the build"
#endif

namespace potencor::ui {

QPoint placeOverOwner(const QRect& ownerFrame, QSize frame, const QRect& workArea)
{
    // C++ integer division truncates towards zero, as the placement requires.
    int left = ownerFrame.left() + (ownerFrame.width() - frame.width()) / 2;
    int top = ownerFrame.top() + (ownerFrame.height() - frame.height()) / 2;
    if (workArea.isValid()) {
        left = std::max(left, workArea.left());
        top = std::max(top, workArea.top());
    }
    return {left, top};
}

QStringList TForm2::memoLines()
{
    return {
        QStringLiteral("1) Данная программа предназначена для виртуального выполнения"),
        QStringLiteral("лабораторных работ, относящихся к разделу \"Электростатика\"."),
        QStringLiteral("Описание лабораторных работ можно посмотреть на сайте "),
        QString::fromUtf8(POTENCOR_ABOUT_URL),
        QString(),
        QStringLiteral("2) В работе исследуется электростатическое поле, создаваемое двумя "),
        QStringLiteral("заряженными цилиндрами. Электростатическое поле исследуется путем "),
        QStringLiteral("измерения потенциала в плоскости поперечного сечения цилиндров."),
        QString(),
        QStringLiteral("3) Радиусы цилиндров равны = 1.45 см. "),
        QStringLiteral("Расстояние между центрами цилиндров = 24.5 см."),
        QStringLiteral("Относительная диэлектрическая проницаемость среды = 1"),
        QString(),
        QStringLiteral("4) Данная программа позволяет сделать работы 1-5. Однако для выполнения"),
        QStringLiteral("измерений требуется интуитивное понимание исследуемого процесса, "),
        QStringLiteral("поэтому нельзя строго ориентироваться на пункты методических указаний"),
        QString(),
        QStringLiteral("5) Автор программы: "),
        QString::fromUtf8(POTENCOR_ABOUT_AUTHOR),
        QString::fromUtf8(POTENCOR_ABOUT_EMAIL),
    };
}

TForm2::TForm2(QWidget* mainWindow)
    // A dialog to the window system, so that it is transient for the main
    // window (no task-bar entry, minimised with it), with a full title bar.
    : QWidget(mainWindow,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
    , memo1_(new QPlainTextEdit(this))
    , image1_(new TImage(this))
{
    setWindowTitle(QStringLiteral("Описание программы"));
    setFixedSize(kClientWidthPx, kClientHeightPx);
    // Closing hides; the window lives as long as the program and must never
    // be the reason the application quits.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Where Segoe UI is missing, its substitute (ui/fonts.h) keeps the text's
    // line breaks close to the intended ones.
    setFont(QFont(installedFamily(QStringLiteral("Segoe UI")), 9));

    memo1_->setObjectName(QStringLiteral("Memo1"));
    memo1_->setGeometry(4, 8, 441, 332);
    memo1_->setReadOnly(true);
    // Read-only still means selectable and copyable, with the keyboard too.
    memo1_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    memo1_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo1_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    memo1_->setPlainText(memoLines().join(QLatin1Char('\n')));

    image1_->setObjectName(QStringLiteral("Image1"));
    // Reaches 2 px past the client area's right edge; the fitted picture
    // ends inside it.
    image1_->setGeometry(451, 8, 533, 332);
    image1_->setPicture(QImage(QStringLiteral(":/illustration.bmp")));

    memo1_->setAccessibleName(QStringLiteral("Описание программы"));
    image1_->setAccessibleName(QStringLiteral("Два заряженных цилиндра и плоскость измерений"));
    image1_->setAccessibleDescription(
        QStringLiteral("Рисунок: два вертикальных цилиндра проходят через горизонтальную плоскость с сеткой; "
                       "цвет плоскости показывает потенциал, от красного у одного цилиндра до фиолетового у другого"));

    // Staying on top, this window would cover every question, error box and
    // file dialog the main window shows while it is up, and the modal one
    // would take all input: a program that looks frozen. Those are made
    // transient for this window instead while it is visible, which the
    // window manager keeps above it.
    qApp->installEventFilter(this);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    // Sent once the native window exists and before it is mapped, when the
    // window manager reads whom it belongs to.
    if (event->type() != QEvent::Show || !watched->isWidgetType())
        return false;
    auto* shown = static_cast<QWidget*>(watched);
    QWindow* handle = shown->windowHandle();
    if (!shown->isWindow() || shown == this || !shown->isModal() || !handle)
        return false;
    QWindow* owner = parentWidget()->window()->windowHandle();
    if (isVisible() && handle->transientParent() == owner)
        handle->setTransientParent(windowHandle());
    else if (!isVisible() && handle->transientParent() == windowHandle())
        handle->setTransientParent(owner); // a dialog shown again once this window has gone
    return false;
}

QSize TForm2::expectedFrameSize() const
{
    const QRect frame = frameGeometry();
    if (frame.size() != size())
        return frame.size();
    // Before its first showing the window system may not know this window's
    // frame yet; it has the same title bar and border as the main window.
    const QWidget* owner = parentWidget()->window();
    return size() + (owner->frameGeometry().size() - owner->geometry().size());
}

void TForm2::showEvent(QShowEvent* event)
{
    // Created by now and not yet mapped. A spontaneous showing (restored by
    // the window manager) keeps the hints it had.
    if (!event->spontaneous())
        keepOffTaskbar(internalWinId());
    QWidget::showEvent(event);
}

void TForm2::showFromMainWindow()
{
    if (isVisible())
        return;
    if (!placed_) {
        placed_ = true;
        const QWidget* owner = parentWidget()->window();
        const QScreen* screen = owner->screen();
        const QRect workArea = screen ? screen->availableGeometry() : QRect();
        // move() places a top-level window's outer (frame) corner.
        move(placeOverOwner(owner->frameGeometry(), expectedFrameSize(), workArea));
    }
    show();
}

} // namespace potencor::ui
