#include "chart/scene.h"

#include "chart/cover.h"
#include "chart/fonts.h"
#include "chart/image_memory.h"
#include "chart/marks.h"
#include "chart/point_cells.h"
#include "chart/sprites.h"
#include "core/spare_capacity.h"
#include "core/error.h"
#include "core/field.h"

#include <QLocale>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace potencor::ui {
namespace {

const QColor kSilver(192, 192, 192);
const QColor kTickGray(128, 128, 128);
const QColor kBevelShadow(160, 160, 160);

double distanceToSegment(QPointF p, QPointF a, QPointF b)
{
    const QPointF ab = b - a;
    const double len2 = QPointF::dotProduct(ab, ab);
    const double t = len2 > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / len2, 0.0, 1.0) : 0.0;
    const QPointF d = p - (a + t * ab);
    return std::hypot(d.x(), d.y());
}

// Everything behind the series: background, bevel, grid, frame, axes, ticks
// and axis labels. Lines are whole device pixels, so they stay crisp.
void paintBase(QPainter& p, const ChartLayout& l, const ChartSprites& s)
{
    const auto fill = [&](const QRect& px, const QColor& color) { p.fillRect(s.toDevice(px), color); };
    const int w = l.size.width();
    const int h = l.size.height();
    const QRect& plot = l.plot;

    fill(QRect(0, 0, w, h), Qt::white);
    // Raised bevel: its light top-left edge is white on white.
    fill(QRect(0, h - 1, w, 1), kBevelShadow);
    fill(QRect(w - 1, 0, 1, h), kBevelShadow);

    // Grid lines and major ticks keep their exact place on a scaled display
    // rather than whole logical px: a click on a drawn intersection measures it.
    const auto column = [&](const AxisLabel& label, const QRect& px, const QColor& color) {
        const auto [first, width] = s.lineAt(label.at);
        const QRect span = s.toDevice(px);
        p.fillRect(QRect(first, span.top(), width, span.height()), color);
    };
    const auto row = [&](const AxisLabel& label, const QRect& px, const QColor& color) {
        const auto [first, height] = s.lineAt(label.at);
        const QRect span = s.toDevice(px);
        p.fillRect(QRect(span.left(), first, span.width(), height), color);
    };
    for (const AxisLabel& label : l.xLabels)
        column(label, QRect(label.px, plot.top(), 1, plot.height()), kSilver);
    for (const AxisLabel& label : l.yLabels)
        row(label, QRect(plot.left(), label.px, plot.width(), 1), kSilver);

    fill(QRect(plot.left(), plot.top(), plot.width(), 1), Qt::black);
    fill(QRect(plot.right(), plot.top(), 1, plot.height()), Qt::black);
    // Axis lines: the frame's left and bottom edges plus one pixel outside.
    fill(QRect(plot.left() - 1, plot.top(), kAxisLinePx, plot.height() + 1), Qt::black);
    fill(QRect(plot.left() - 1, plot.bottom(), plot.width() + 1, kAxisLinePx), Qt::black);

    const int tickTop = plot.bottom() + kAxisLinePx;
    const int tickRight = plot.left() - kAxisLinePx + 1; // exclusive
    for (const AxisLabel& label : l.xLabels)
        column(label, QRect(label.px, tickTop, 1, kMajorTickPx), kTickGray);
    for (int column : l.xMinorTicks)
        fill(QRect(column, tickTop, 1, kMinorTickPx), kTickGray);
    for (const AxisLabel& label : l.yLabels)
        row(label, QRect(tickRight - kMajorTickPx, label.px, kMajorTickPx, 1), kTickGray);
    for (int row : l.yMinorTicks)
        fill(QRect(tickRight - kMinorTickPx, row, kMinorTickPx, 1), kTickGray);

    p.save();
    p.scale(s.dpr(), s.dpr());
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(l.font);
    p.setPen(Qt::black);
    for (const auto* labels : {&l.xLabels, &l.yLabels}) {
        for (const AxisLabel& label : *labels)
            p.drawText(label.textRect, Qt::AlignCenter, label.text);
    }
    p.restore();
}

// A point label's text, as QString::number would spell it.
struct LabelText {
    std::array<char, 12> chars{};
    int size = 0;
};

LabelText labelText(int label)
{
    LabelText text;
    text.size = static_cast<int>(std::to_chars(text.chars.data(), text.chars.data() + text.chars.size(), label).ptr
                                 - text.chars.data());
    return text;
}

QPolygonF polyline(const ChartLayout& l, const QVector<QPointF>& points)
{
    QPolygonF line;
    line.reserve(points.size());
    for (const QPointF& cm : points)
        line << l.paintPosOf(cm);
    return line;
}

// What a pen `width` wide with flat caps and mitred joins covers along an
// open polyline, as one polygon. Filling it is much cheaper than stroking a
// line of hundreds of pixel-long segments, and as exact on a smooth curve.
QPolygonF strokeArea(const QPolygonF& line, double width)
{
    QPolygonF points;
    for (const QPointF& p : line) {
        if (points.isEmpty() || p != points.back())
            points << p;
    }
    const qsizetype n = points.size();
    if (n < 2)
        return {};
    const auto unitNormal = [](QPointF a, QPointF b) {
        const QPointF d = b - a;
        const double len = std::hypot(d.x(), d.y());
        return QPointF(-d.y() / len, d.x() / len);
    };
    const double half = width / 2;
    QPolygonF area(2 * n);
    for (qsizetype i = 0; i < n; ++i) {
        QPointF offset;
        if (i == 0) {
            offset = unitNormal(points[0], points[1]) * half;
        } else if (i == n - 1) {
            offset = unitNormal(points[n - 2], points[n - 1]) * half;
        } else {
            const QPointF before = unitNormal(points[i - 1], points[i]);
            const QPointF after = unitNormal(points[i], points[i + 1]);
            const QPointF sum = before + after;
            const double len = std::hypot(sum.x(), sum.y());
            if (len < 1e-9) {
                offset = before * half; // the line doubles back
            } else {
                const QPointF mitre = sum / len;
                // Mitre length half / cos(turn / 2), limited to twice the half width.
                offset = mitre * (half / std::max(QPointF::dotProduct(mitre, before), 0.5));
            }
        }
        area[i] = points[i] + offset;
        area[2 * n - 1 - i] = points[i] - offset;
    }
    return area;
}

} // namespace

// ---------------------------------------------------------------------------
// Rendering state. The picture is two layers per device-pixel ratio:
//   base  - background, grid, axes, labels: built once;
//   scene - base plus the measured points, their labels and over them the
//           electrode outlines, brought up to date incrementally while points
//           are only appended.
// A frame is scene + the hover highlight.

struct ChartScene::Impl {
    struct Layers {
        Layers(const ChartLayout& layout, qreal dpr) : sprites(layout, dpr) {}
        ChartSprites sprites;
        QImage base;
        QImage scene;
        bool sceneValid = false;
        quint64 sceneVersion = 0;
        int scenePoints = 0;
        bool sceneMarks = false;
        quint64 sceneOutlinesVersion = 0;
    };

    explicit Impl(const ChartScene& scene)
        : owner(scene), layout(scene.layout_), placer(QRect(QPoint(0, 0), layout.size)), cells(layout.size)
    {
    }

    void paint(QPainter& p, qreal dpr);
    void pointAppended();
    void pointRemoved(int index, QPointF removedCm);
    void pointsAssigned();
    void ensureCells();
    void dropLayers() { layers_.clear(); }

    const ChartScene& owner;
    const ChartLayout& layout;
    MarkPlacer placer;          // Series1's labels, placed up to placer.count()
    PointCells cells;           // Series1's points by place, while cellsValid
    bool cellsValid = true;
    quint64 pointsVersion = 0;  // bumped whenever Series1 loses a point
    // Many changes at once (the first frame, say) are cheaper redrawn whole.
    static constexpr int kMaxChangedInPlace = 32;
    // The last removals of Series1's last point, oldest first, each with its
    // version, the points it kept and the area it leaves to repaint (point
    // and label). A layer that missed only such removals repaints those
    // areas: an undo at 100,000 points costs what it does at 10.
    struct TailRemoval {
        quint64 version;
        int kept;
        QRect area; // logical px
    };
    std::vector<TailRemoval> tailRemovals;
    quint64 outlinesVersion = 0; // bumped whenever Series2 or Series3 changes
    QImage rendered; // renderImage's last picture

private:
    Layers& layersFor(qreal dpr);
    void placeMarks();
    void syncScene(Layers& l);
    QImage newLayer(qreal dpr) const;
    void ensureBase(Layers& l);
    void paintBackdrop(QPainter& p, const ChartSprites& s) const;
    void rebuildScene(Layers& l);
    // The outlines as the areas their pens cover, logical px, each with
    // where it may paint.
    struct Outline {
        QPolygonF area;
        QRectF bounds;
    };
    void syncOutlines();
    void paintOutlines(QPainter& p, qreal dpr, const QRect& device) const;
    std::vector<Outline> outlines_;
    quint64 outlinesShaped_ = ~quint64{0};
    // Points and labels touching `area` (logical px), clipped to `device` (its device px).
    void paintContent(QPainter& p, ChartSprites& s, const QRect& area, const QRect& device) const;
    struct Label;
    // The labels touching `area` that show, each with the device pixels
    // that may (last label first), and what their faces cover.
    struct MarkPlan {
        OpaqueCover cover;
        // Of a label, what to paint: its box sprite's rectangle, and the
        // columns of its characters, in device px from the box sprite's
        // origin. Small, as there may be as many as points.
        struct Shown {
            int index;
            qint16 boxLeft, boxTop, boxRight, boxBottom;
            qint16 charactersLeft, charactersRight;
        };
        std::vector<Shown> shown;
    };
    MarkPlan planMarks(ChartSprites& s, const QRect& area, const QRect& device) const;
    // `labels`: skip points they hide.
    void paintPoints(QPainter& p, const ChartSprites& s, const QRect& area, const QRect& device,
                     const OpaqueCover* labels) const;
    void paintMarks(QPainter& p, ChartSprites& s, const QRect& area, const QRect& device, const MarkPlan& plan) const;
    void paintHover(QPainter& p) const;
    // The hovered axis label in red, under the point labels like the black one.
    void paintHoveredLabel(QPainter& p, Layers& l) const;

    std::vector<std::unique_ptr<Layers>> layers_;
};

ChartScene::Impl::Layers& ChartScene::Impl::layersFor(qreal dpr)
{
    for (auto& l : layers_) {
        if (qFuzzyCompare(l->sprites.dpr(), dpr))
            return *l;
    }
    // The screen's ratio and perhaps an export at another one.
    if (layers_.size() >= 2)
        layers_.erase(layers_.begin());
    layers_.push_back(std::make_unique<Layers>(layout, dpr));
    return *layers_.back();
}

void ChartScene::Impl::placeMarks()
{
    const QVector<QPointF>& points = owner.series1_.points();
    placer.reserve(static_cast<int>(points.size()));
    for (int i = placer.count(); i < points.size(); ++i) {
        const QPoint anchor = layout.pixelOf(points[i]);
        placer.place(ChartLayout::markExtent(layout.defaultMarkBox(anchor, owner.series1_.label(i))), anchor);
    }
}

void ChartScene::Impl::pointAppended()
{
    if (cellsValid)
        cells.append(ChartLayout::pointExtent(layout.pixelOf(owner.series1_.points().back())));
}

void ChartScene::Impl::pointsAssigned()
{
    ++pointsVersion;
    placer.clear();
    cells.clear();
    cellsValid = false;
}

void ChartScene::Impl::ensureCells()
{
    if (cellsValid)
        return;
    for (const QPointF& point : owner.series1_.points())
        cells.append(ChartLayout::pointExtent(layout.pixelOf(point)));
    cellsValid = true;
}

void ChartScene::Impl::pointRemoved(int index, QPointF removedCm)
{
    ++pointsVersion;
    if (index == owner.series1_.Count()) {
        const QRect extent = ChartLayout::pointExtent(layout.pixelOf(removedCm));
        if (cellsValid)
            cells.removeLast(extent);
        QRect area = extent;
        if (index < placer.count())
            area |= placer.footprint(index);
        if (tailRemovals.size() == kMaxChangedInPlace)
            tailRemovals.erase(tailRemovals.begin());
        tailRemovals.push_back({pointsVersion, index, area});
    } else {
        cells.clear();
        cellsValid = false;
    }
    if (index >= placer.count())
        return;
    // Labels depend only on earlier ones: dropping the last keeps the rest.
    if (index == placer.count() - 1)
        placer.removeLast();
    else
        placer.clear();
}

void ChartScene::Impl::syncScene(Layers& l)
{
    const int n = owner.series1_.Count();
    const bool marks = owner.marksVisible_;
    if (marks)
        placeMarks();
    // Points [0, kept) are in the scene as they are now; the areas the
    // removed ones left, and the points since, are repainted.
    int kept = l.scenePoints;
    QRect dirty;
    bool inPlace = l.sceneValid && l.sceneMarks == marks && l.sceneOutlinesVersion == outlinesVersion;
    if (inPlace && l.sceneVersion != pointsVersion) {
        // Versions are consecutive, so the last `missed` removals kept being
        // recorded exactly when the first of them follows the scene's.
        const quint64 missed = pointsVersion - l.sceneVersion;
        inPlace = missed <= tailRemovals.size() && tailRemovals.back().version == pointsVersion
                  && tailRemovals[tailRemovals.size() - missed].version == l.sceneVersion + 1;
        for (std::size_t i = tailRemovals.size() - (inPlace ? missed : 0); i < tailRemovals.size(); ++i) {
            dirty |= tailRemovals[i].area;
            kept = std::min(kept, tailRemovals[i].kept);
        }
    }
    const int added = n - kept;
    if (!inPlace || added < 0 || added > kMaxChangedInPlace) {
        rebuildScene(l);
        return;
    }
    l.sceneVersion = pointsVersion;
    if (added == 0 && dirty.isEmpty())
        return;
    ensureCells();
    // Appended points and labels go on top of everything in the scene except
    // older labels, and a removed last one hid nothing that later ones drew:
    // redraw just the areas they touch, from the base up.
    const QVector<QPointF>& points = owner.series1_.points();
    for (int i = kept; i < n; ++i) {
        dirty |= ChartLayout::pointExtent(layout.pixelOf(points[i]));
        if (marks)
            dirty |= placer.footprint(i);
    }
    // Sprites are placed in whole device pixels and may reach one beyond.
    dirty.adjust(-1, -1, 1, 1);
    l.scenePoints = n;
    const QRect device = l.sprites.toDevice(dirty) & l.scene.rect();
    if (device.isEmpty())
        return;
    ensureBase(l);
    QPainter p(&l.scene);
    p.drawImage(device.topLeft(), l.base, device);
    paintContent(p, l.sprites, dirty, device);
    paintOutlines(p, l.sprites.dpr(), device);
}

QImage ChartScene::Impl::newLayer(qreal dpr) const
{
    return newLargeImage(QSize(static_cast<int>(std::ceil(layout.size.width() * dpr)),
                               static_cast<int>(std::ceil(layout.size.height() * dpr))),
                         QImage::Format_RGB32);
}

void ChartScene::Impl::ensureBase(Layers& l)
{
    if (!l.base.isNull())
        return;
    l.base = newLayer(l.sprites.dpr());
    QPainter p(&l.base);
    paintBase(p, layout, l.sprites);
    paintBackdrop(p, l.sprites);
}

void ChartScene::Impl::paintBackdrop(QPainter& p, const ChartSprites& s) const
{
    if (owner.backdrop_.isEmpty() && owner.backdropLabels_.isEmpty())
        return;
    p.save();
    p.scale(s.dpr(), s.dpr());
    p.setClipRect(QRectF(layout.plot));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(91, 139, 208), 1.2));
    for (const QPolygonF& line : owner.backdrop_)
        p.drawPolyline(polyline(layout, line));
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(layout.font);
    p.setPen(QColor(47, 93, 158));
    for (const BackdropLabel& label : owner.backdropLabels_)
        p.drawText(layout.paintPosOf(label.cm) + QPointF(3, -3), label.text);
    p.restore();
}

void ChartScene::Impl::rebuildScene(Layers& l)
{
    if (l.scene.isNull())
        l.scene = newLayer(l.sprites.dpr());
    // Until a partial redraw has needed the base as an image of its own, it
    // is painted straight into the scene.
    if (l.base.isNull()) {
        QPainter p(&l.scene);
        paintBase(p, layout, l.sprites);
        paintBackdrop(p, l.sprites);
    } else {
        std::memcpy(l.scene.bits(), l.base.constBits(), static_cast<std::size_t>(l.base.sizeInBytes()));
    }
    QPainter p(&l.scene);
    paintContent(p, l.sprites, QRect(QPoint(0, 0), layout.size), l.scene.rect());
    paintOutlines(p, l.sprites.dpr(), l.scene.rect());
    l.sceneOutlinesVersion = outlinesVersion;
    l.sceneValid = true;
    l.sceneVersion = pointsVersion;
    l.scenePoints = owner.series1_.Count();
    l.sceneMarks = owner.marksVisible_;
}

// Where a point label's pieces go.
struct ChartScene::Impl::Label {
    Label(const Impl& impl, ChartSprites& s, int index)
        : text(labelText(impl.owner.series1_.label(index)))
        , box(impl.placer.extent(index).topLeft(),
              QSize(impl.layout.mark.boxWidth(text.size), impl.layout.mark.boxHeightPx))
        , sprite(s.markBox(box.width()))
        , origin(s.toDevice(QPointF(box.topLeft())))
    {
    }
    // Device position of the k-th character's sprite.
    QPoint character(const ChartSprites& s, double advancePx, int k) const
    {
        const double textLeft = box.left() + (box.width() - text.size * advancePx) / 2.0;
        return s.toDevice(QPointF(textLeft + k * advancePx - ChartSprites::kDigitInsetPx, box.top()));
    }
    // The device pixels its characters may paint.
    QRect characters(const ChartSprites& s, double advancePx) const
    {
        const QRect& ink = s.digitsInk();
        if (text.size == 0 || ink.isEmpty())
            return {};
        const QPoint first = character(s, advancePx, 0);
        const QPoint last = character(s, advancePx, text.size - 1);
        return QRect(first + ink.topLeft(), QPoint(last.x(), first.y()) + ink.bottomRight());
    }

    LabelText text;
    QRect box; // logical px
    const ChartSprites::MarkBox& sprite;
    QPoint origin; // of the box sprite, device px
};

ChartScene::Impl::MarkPlan ChartScene::Impl::planMarks(ChartSprites& s, const QRect& area, const QRect& device) const
{
    // From the last label back: the part of a label that later labels'
    // opaque faces hide need not be painted, nor anything else they hide
    // that is painted before all labels (points, callouts). In a crowd that
    // is most of it.
    MarkPlan plan{OpaqueCover(device), {}};
    plan.shown.reserve(static_cast<std::size_t>(placer.count()));
    const QRect reach = area.adjusted(-1, -1, 1, 1);
    for (int i = placer.count() - 1; i >= 0; --i) {
        if (!placer.extent(i).intersects(reach))
            continue;
        const Label label(*this, s, i);
        const QRect sprite(label.origin, label.sprite.image.size());
        const QRect characters = label.characters(s, layout.mark.digitAdvancePx);
        int left = 0;
        int right = -1;
        QRect box;
        if (sprite.contains(characters)) {
            box = plan.cover.uncovered(sprite, characters, left, right);
        } else {
            int unused = 0;
            box = plan.cover.uncovered(sprite, {}, unused, unused);
            const QRect shown = plan.cover.uncovered(characters, {}, unused, unused);
            if (!shown.isEmpty()) {
                left = shown.left();
                right = shown.right();
            }
        }
        if (box.isEmpty() && left > right)
            continue;
        box.translate(-label.origin);
        const auto at = [](int v) { return static_cast<qint16>(v); };
        plan.shown.push_back({i, at(box.left()), at(box.top()), at(box.right()), at(box.bottom()),
                              at(left - label.origin.x()), at(right - label.origin.x())});
        plan.cover.add(label.origin, label.sprite.opaque);
    }
    return plan;
}

void ChartScene::Impl::paintContent(QPainter& p, ChartSprites& s, const QRect& area, const QRect& device) const
{
    if (!owner.marksVisible_) {
        paintPoints(p, s, area, device, nullptr);
        return;
    }
    const MarkPlan plan = planMarks(s, area, device);
    paintPoints(p, s, area, device, &plan.cover);
    paintMarks(p, s, area, device, plan);
}

void ChartScene::Impl::paintPoints(QPainter& p, const ChartSprites& s, const QRect& area, const QRect& device,
                                   const OpaqueCover* labels) const
{
    const QVector<QPointF>& points = owner.series1_.points();
    const QImage& sprite = s.point();
    const QRect clip = s.toDevice(layout.plot) & device;
    if (clip.isEmpty())
        return;
    p.setClipRect(clip);
    const auto paint = [&](const QPointF& point) {
        const QRect at(s.pointOrigin(layout.pixelOf(point)), sprite.size());
        if (clip.intersects(at) && (labels == nullptr || !labels->covers(at)))
            p.drawImage(at.topLeft(), sprite);
    };
    // A small area (a point added or undone) looks only at the points near
    // it; sprites sit in whole device pixels, a pixel beyond their extent.
    if (cellsValid && cells.count() == points.size() && area.width() * 4 < layout.size.width()) {
        for (int i : cells.near(area.adjusted(-2, -2, 2, 2)))
            paint(points[i]);
    } else {
        for (const QPointF& point : points)
            paint(point);
    }
    p.setClipping(false);
}

void ChartScene::Impl::paintMarks(QPainter& p, ChartSprites& s, const QRect& area, const QRect& device, const MarkPlan& plan) const
{
    const QVector<QPointF>& points = owner.series1_.points();
    const int n = static_cast<int>(points.size());
    // Whole device pixels of a sprite may reach a pixel past its logical area.
    const QRect reach = area.adjusted(-1, -1, 1, 1);
    p.setClipRect(device);
    // All callouts first: a label moved aside must not have another's callout across its text.
    for (int i = 0; i < n; ++i) {
        if (!placer.footprint(i).intersects(reach))
            continue;
        const QPoint centre = layout.pixelOf(points[i]);
        const QRect& extent = placer.extent(i);
        const int boxBottom = extent.top() + layout.mark.boxHeightPx - 1;
        QRect callout;
        if (boxBottom < centre.y())
            callout = QRect(QPoint(centre.x(), boxBottom + 1), centre);
        else if (extent.top() > centre.y())
            callout = QRect(centre, QPoint(centre.x(), extent.top() - 1));
        if (!callout.intersects(reach))
            continue;
        const QRect line = s.toDevice(callout & reach);
        if (!plan.cover.covers(line))
            p.fillRect(line, Qt::white);
    }
    // Of each label, what is not hidden.
    const double advance = layout.mark.digitAdvancePx;
    for (auto it = plan.shown.crbegin(); it != plan.shown.crend(); ++it) {
        const Label label(*this, s, it->index);
        const QRect box(QPoint(it->boxLeft, it->boxTop), QPoint(it->boxRight, it->boxBottom));
        if (!box.isEmpty())
            p.drawImage(label.origin + box.topLeft(), label.sprite.image, box);
        if (it->charactersLeft > it->charactersRight)
            continue;
        // Its characters' rows are all painted: what else they take is covered later.
        const int left = label.origin.x() + it->charactersLeft;
        const int right = label.origin.x() + it->charactersRight;
        for (int k = 0; k < label.text.size; ++k) {
            const char c = label.text.chars[static_cast<std::size_t>(k)];
            if (c < '0' || c > '9')
                continue;
            // Only its ink: the rest is transparent.
            const QRect& ink = s.digitInk(c - '0');
            const QPoint at = label.character(s, advance, k);
            const int from = std::max(at.x() + ink.left(), left);
            const int to = std::min(at.x() + ink.right(), right);
            if (from <= to)
                p.drawImage(QPoint(from, at.y() + ink.top()), s.digit(c - '0'),
                            QRect(from - at.x(), ink.top(), to - from + 1, ink.height()));
        }
    }
    p.setClipping(false);
}

void ChartScene::Impl::syncOutlines()
{
    if (outlinesShaped_ == outlinesVersion)
        return;
    outlinesShaped_ = outlinesVersion;
    outlines_.clear();
    const double reach = kOutlineWidthPx / 2 + 1;
    for (const Series* series : {&owner.series2_, &owner.series3_}) {
        if (series->Count() < 2)
            continue;
        const QPolygonF line = polyline(layout, series->points());
        const QRectF bounds = line.boundingRect().adjusted(-reach, -reach, reach, reach) & QRectF(layout.plot);
        if (!bounds.isEmpty())
            outlines_.push_back({strokeArea(line, kOutlineWidthPx), bounds});
    }
}

// Straight onto the scene: filling with black at a pixel's coverage blends
// exactly as an image of that coverage put over it would, without an image.
void ChartScene::Impl::paintOutlines(QPainter& p, qreal dpr, const QRect& device) const
{
    for (const Outline& outline : outlines_) {
        const QRectF bounds(outline.bounds.topLeft() * dpr, outline.bounds.size() * dpr);
        if (!bounds.intersects(QRectF(device)))
            continue;
        p.save();
        p.setClipRect(device);
        p.scale(dpr, dpr);
        p.setClipRect(QRectF(layout.plot), Qt::IntersectClip);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawPolygon(outline.area, Qt::WindingFill);
        p.restore();
    }
}

void ChartScene::Impl::paintHover(QPainter& p) const
{
    const HoverTarget& hover = owner.hover_;
    if (hover.series == nullptr)
        return;
    const QVector<QPointF>& points = hover.series->points();
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(QRectF(layout.plot));
    p.setBrush(Qt::NoBrush);
    if (hover.kind == HoverTarget::Kind::Point && hover.index < points.size()) {
        // A red ring just around the circle.
        p.setPen(QPen(Qt::red, 2.0));
        p.drawEllipse(QPointF(layout.pixelOf(points[hover.index])) + QPointF(0.5, 0.5),
                      kPointRadiusPx + 1.5, kPointRadiusPx + 1.5);
    } else if (hover.kind == HoverTarget::Kind::Segment && hover.index + 1 < points.size()) {
        // Round caps: a segment this short would otherwise be a sliver.
        p.setPen(QPen(Qt::red, kOutlineWidthPx, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(layout.paintPosOf(points[hover.index]), layout.paintPosOf(points[hover.index + 1]));
    }
    p.restore();
}

void ChartScene::Impl::paintHoveredLabel(QPainter& p, Layers& l) const
{
    const HoverTarget& hover = owner.hover_;
    const bool bottom = hover.kind == HoverTarget::Kind::BottomLabel;
    if (!bottom && hover.kind != HoverTarget::Kind::LeftLabel)
        return;
    const AxisLabel& label = (bottom ? layout.xLabels : layout.yLabels)[hover.index];
    const QRect area = label.textRect.toAlignedRect();
    const QRect device = l.sprites.toDevice(area) & l.scene.rect();
    p.fillRect(device, Qt::white);
    p.save();
    p.scale(l.sprites.dpr(), l.sprites.dpr());
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(layout.font);
    p.setPen(Qt::red);
    p.drawText(label.textRect, Qt::AlignCenter, label.text);
    p.restore();
    if (owner.marksVisible_)
        paintMarks(p, l.sprites, area, device, planMarks(l.sprites, area, device));
}

ChartScene::HoverTarget ChartScene::hitTest(QPointF pos) const
{
    const ChartLayout& layout = layout_;
    const QPoint pixel(static_cast<int>(std::floor(pos.x())), static_cast<int>(std::floor(pos.y())));
    if (!layout.plot.contains(pixel)) {
        // Outside the plot only the axis labels react.
        for (int i = 0; i < layout.xLabels.size(); ++i) {
            if (layout.xLabels[i].textRect.contains(pos))
                return {HoverTarget::Kind::BottomLabel, nullptr, i};
        }
        for (int i = 0; i < layout.yLabels.size(); ++i) {
            if (layout.yLabels[i].textRect.contains(pos))
                return {HoverTarget::Kind::LeftLabel, nullptr, i};
        }
        return {};
    }
    // The outlines lie over the points. Their segments are about a pixel
    // long, so the nearest one under the pointer is the one meant.
    const QPointF at = QPointF(pixel) + QPointF(0.5, 0.5);
    HoverTarget nearest;
    double best = kOutlineWidthPx / 2;
    for (const Series* series : {&series3_, &series2_}) {
        const QVector<QPointF>& points = series->points();
        for (int i = 0; i + 1 < points.size(); ++i) {
            const double d = distanceToSegment(at, layout.paintPosOf(points[i]), layout.paintPosOf(points[i + 1]));
            if (d < best || (d == best && nearest.kind == HoverTarget::Kind::None)) {
                best = d;
                nearest = {HoverTarget::Kind::Segment, series, i};
            }
        }
    }
    if (nearest.kind != HoverTarget::Kind::None)
        return nearest;
    // Later points cover earlier ones. A point is hit within its extent, so
    // those listed for the pixel's cell are all there is to try.
    const QVector<QPointF>& points = series1_.points();
    impl_->ensureCells();
    const std::vector<int>& near = impl_->cells.near(QRect(pixel, QSize(1, 1)));
    for (auto i = near.rbegin(); i != near.rend(); ++i) {
        const QPoint d = pixel - layout.pixelOf(points[*i]);
        if (d.x() * d.x() + d.y() * d.y() <= kPointRadiusPx * kPointRadiusPx)
            return {HoverTarget::Kind::Point, &series1_, *i};
    }
    return {};
}

void ChartScene::Impl::paint(QPainter& p, qreal dpr)
{
    Layers& l = layersFor(dpr);
    syncOutlines();
    syncScene(l);
    // The layers are in device pixels: undo the painter's own scaling for the blits.
    p.save();
    p.scale(1 / dpr, 1 / dpr);
    p.drawImage(QPoint(0, 0), l.scene);
    paintHoveredLabel(p, l);
    p.restore();
    paintHover(p);
}

// ---------------------------------------------------------------------------

int Series::AddXY(double x_cm, double y_cm)
{
    return AddXY(x_cm, y_cm, -1);
}

int Series::AddXY(double x_cm, double y_cm, int label)
{
    const int index = Count();
    points_.push_back(QPointF(x_cm, y_cm));
    labels_.push_back(label);
    scene_->seriesAppended(this);
    return index;
}

void Series::Assign(QVector<QPointF> points, QVector<int> labels)
{
    if (labels.size() != points.size())
        throw std::invalid_argument("Series::Assign: a label for each point");
    points_ = std::move(points);
    labels_ = std::move(labels);
    scene_->seriesAssigned(this);
}

void Series::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw Error(msg::seriesDeleteOutOfBounds(index, Count() - 1));
    const QPointF removed = points_[index];
    points_.remove(index);
    labels_.remove(index);
    releaseSpareCapacity(points_);
    releaseSpareCapacity(labels_);
    scene_->seriesRemoved(this, index, removed);
}

ChartScene::ChartScene(const calibration::ChartMapping& mapping, QObject* parent)
    : QObject(parent)
    , layout_(computeChartLayout(mapping, QSize(kWidthPx, kHeightPx), chartFont(8), QLocale()))
    , impl_(std::make_unique<Impl>(*this))
{
}

ChartScene::~ChartScene() = default;

void ChartScene::setBackdrop(QVector<QPolygonF> linesCm, QVector<BackdropLabel> labels)
{
    backdrop_ = std::move(linesCm);
    backdropLabels_ = std::move(labels);
    impl_->dropLayers(); // it lies in the base
    emit changed();
}

void ChartScene::setMarksVisible(bool visible)
{
    if (marksVisible_ == visible)
        return;
    marksVisible_ = visible;
    emit changed();
}

void ChartScene::seriesAppended(Series* series)
{
    if (series == &series1_)
        impl_->pointAppended();
    else
        ++impl_->outlinesVersion;
    emit changed();
}

void ChartScene::seriesRemoved(Series* series, int index, QPointF removed)
{
    if (series == &series1_)
        impl_->pointRemoved(index, removed);
    else
        ++impl_->outlinesVersion;
    if (hover_.series == series)
        hover_ = {};
    emit changed();
}

void ChartScene::seriesAssigned(Series* series)
{
    if (series == &series1_) {
        impl_->pointsAssigned();
    } else {
        ++impl_->outlinesVersion;
    }
    if (hover_.series == series)
        hover_ = {};
    emit changed();
}

void ChartScene::hoverAt(QPointF pos)
{
    setHover(hitTest(pos));
}

void ChartScene::clearHover()
{
    setHover({});
}

void ChartScene::setHover(const HoverTarget& target)
{
    if (target == hover_)
        return;
    hover_ = target;
    emit changed();
}

void ChartScene::paint(QPainter& painter, qreal devicePixelRatio) const
{
    impl_->paint(painter, devicePixelRatio);
}

QImage ChartScene::renderImage(qreal devicePixelRatio) const
{
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QSize size(static_cast<int>(std::ceil(kWidthPx * dpr)), static_cast<int>(std::ceil(kHeightPx * dpr)));
    // The last picture's memory serves again once everyone else let it go;
    // the scene covers every pixel of it.
    QImage& image = impl_->rendered;
    if (image.size() != size || !image.isDetached())
        image = newLargeImage(size, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    {
        QPainter p(&image);
        paint(p, dpr);
    }
    return image;
}

void addElectrodeOutlines(ChartScene& scene)
{
    const field::Outlines outlines = field::electrodeOutlines();
    for (const field::PointCm& p : outlines.left)
        scene.Series2()->AddXY(static_cast<double>(p.x), static_cast<double>(p.y));
    for (const field::PointCm& p : outlines.right)
        scene.Series3()->AddXY(static_cast<double>(p.x), static_cast<double>(p.y));
}

} // namespace potencor::ui
