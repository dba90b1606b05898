// Writing the window's screen memory on two cores. A window just grown (a new picture shown whole, the
// player resizing it) has screen memory never written before, and on this kind of system every first
// write of a 4 KB page costs a fault: a big area written by two threads, half of its rows each, costs
// each of them half the faults.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

class QPainter;

// Puts image pixels `from` at widget points `to` through the painter, as an unscaled drawImage does.
void PutImage(QPainter& p, const QImage& image, const QRectF& from, const QRect& to);

// A widget painted all over in its palette's background colour, as an automatic fill would paint it.
class Backdrop : public QWidget {
public:
    explicit Backdrop(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;
};
