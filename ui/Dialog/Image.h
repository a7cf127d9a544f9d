#pragma once
// Image1 of the About window: a picture box that shows its picture at its own
// size or, when the picture is larger than the box, reduced proportionally and
// anchored at the top-left corner. Never enlarges, never smooths.
#include <QImage>
#include <QSize>
#include <QWidget>

namespace potencor::ui {

// Size (px) at which a picture of `picture` px is drawn in a box of `box` px:
// unchanged when it fits, otherwise reduced keeping the aspect ratio, each
// side truncated to whole pixels.
QSize fitReduceOnly(QSize picture, QSize box);

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    QImage scaled_; // picture_ reduced for the last painted box size and pixel ratio
};

} // namespace potencor::ui
