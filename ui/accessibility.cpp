#include "ui/accessibility.h"

#include "ui/Dialog/Image.h"
#include "ui/chart.h"

#include "core/field.h"

#include <QAccessibleWidget>

#include <algorithm>

namespace potencor::ui {
namespace {

// The chart as a read-only value: the reading as text, and as a number the
// potential it read, between the electrodes' 0 and 12.6 V. Qt's AT-SPI
// bridge hands values over as numbers only, so the reading is the chart's
// text too, which assistive technology reads over AT-SPI.
class ChartAccessible : public QAccessibleWidget, public QAccessibleValueInterface, public QAccessibleTextInterface {
public:
    explicit ChartAccessible(TChart* chart) : QAccessibleWidget(chart, QAccessible::Chart) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description)
            return measuredPointsDescription(chart()->Series1()->Count());
        if (t == QAccessible::Value)
            return value();
        return QAccessibleWidget::text(t);
    }

    // The value.
    QVariant currentValue() const override
    {
        const std::optional<double> v = chart()->accessiblePotential_V();
        return v ? QVariant(*v) : QVariant();
    }
    void setCurrentValue(const QVariant& /*value*/) override {} // measured, never set
    QVariant maximumValue() const override { return static_cast<double>(field::kRightElectrode_V); }
    QVariant minimumValue() const override { return static_cast<double>(field::kLeftElectrode_V); }
    QVariant minimumStepSize() const override { return 0.001; } // the printed step

    // The same as text, without a caret or selections.
    void selection(int /*selectionIndex*/, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int /*startOffset*/, int /*endOffset*/) override {}
    void removeSelection(int /*selectionIndex*/) override {}
    void setSelection(int /*selectionIndex*/, int /*startOffset*/, int /*endOffset*/) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int /*position*/) override {}
    QString text(int startOffset, int endOffset) const override
    {
        const QString v = value();
        startOffset = std::clamp(startOffset, 0, static_cast<int>(v.size()));
        endOffset = endOffset < 0 ? static_cast<int>(v.size()) : std::clamp(endOffset, startOffset, static_cast<int>(v.size()));
        return v.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(value().size()); }
    QRect characterRect(int /*offset*/) const override { return {}; }
    int offsetAtPoint(const QPoint& /*point*/) const override { return -1; }
    void scrollToSubstring(int /*startIndex*/, int /*endIndex*/) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    TChart* chart() const { return static_cast<TChart*>(widget()); }
    QString value() const { return chart()->accessibleValue(); }
};

QAccessibleInterface* accessibleFor(const QString& /*className*/, QObject* object)
{
    if (auto* chart = qobject_cast<TChart*>(object))
        return new ChartAccessible(chart);
    if (auto* image = qobject_cast<TImage*>(object))
        return new QAccessibleWidget(image, QAccessible::Graphic);
    return nullptr;
}

} // namespace

void installAccessibleFactory()
{
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(accessibleFor);
        return true;
    }();
}

QString measuredPointsDescription(int count)
{
    return QStringLiteral("Измерено точек: %1").arg(count);
}

} // namespace potencor::ui
