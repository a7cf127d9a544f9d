#include "ui/placement.h"

#include <algorithm>

namespace potencor::ui {

QPoint centredOnWorkArea(const QRect& workArea, QSize frame)
{
    const int left = workArea.left() + (workArea.width() - frame.width()) / 2;
    const int top = workArea.top() + (workArea.height() - frame.height()) / 2;
    return {std::max(left, workArea.left()), std::max(top, workArea.top())};
}

} // namespace potencor::ui
