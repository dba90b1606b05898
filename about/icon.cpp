#include "icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

QPainterPath Circle(QPointF centre, double diameter)
{
    QPainterPath p;
    p.addEllipse(centre, diameter / 2, diameter / 2);
    return p;
}

QPainterPath Square(QPointF corner, double side)
{
    QPainterPath p;
    p.addRect(QRectF(corner, QSizeF(side, side)));
    return p;
}

// The icon drawn afresh for each pixel density the window meets rather than a 32-pixel picture
// enlarged, which at twice the density shows its pixels as blocks.
class IconView : public QWidget {
public:
    IconView(QWidget* parent, QColor background)
        : QWidget(parent)
        , background(background)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const double ratio = devicePixelRatioF();
        const int side = int(std::ceil(std::min(width(), height()) * ratio - 0.01));
        if (drawn.isNull() || drawn.devicePixelRatio() != ratio || drawn.width() != side) {
            drawn = QImage(side, side, QImage::Format_RGB32);
            drawn.fill(background);
            QPainter p(&drawn);
            p.drawImage(0, 0, DrawTiloraIcon(side));
            p.end();
            drawn.setDevicePixelRatio(ratio);
        }
        QPainter p(this);
        p.fillRect(rect(), background);
        p.drawImage(QPointF(0, 0), drawn);
    }

private:
    QColor background;
    QImage drawn;
};

} // namespace

QWidget* NewIconView(QWidget* parent, const QRect& area, QColor background)
{
    auto* view = new IconView(parent, background);
    view->setGeometry(area);
    return view;
}

QImage DrawTiloraIcon(int size)
{
    if (size <= 0)
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    // Below this size smoothing only blurs the edges into colours the small icon doesn't have.
    const bool smooth = size >= 48;
    painter.setRenderHint(QPainter::Antialiasing, smooth);

    // The shapes are built in pixels rather than scaled afterwards: Qt flattens the knobs' curves
    // to the coordinates it is given, and a scaled-up 16-unit circle shows its corners.
    const double pen = std::max(1.0, size / 24.0);
    const double edge = smooth ? pen / 2 : 0.0;
    const double tile = (size - 2 * edge - (smooth ? 0.0 : 1.0)) / 2;
    const double knob = tile * 0.5;
    const QPointF tl(edge, edge), tr(edge + tile, edge), bl(edge, edge + tile), br(edge + tile, edge + tile);

    // A knob on each shared edge belongs to one tile and bites into its neighbour, turning round
    // the middle so that every tile has one of each.
    const QPainterPath right = Circle(tl + QPointF(tile, tile / 2), knob);
    const QPainterPath down = Circle(tr + QPointF(tile / 2, tile), knob);
    const QPainterPath left = Circle(br + QPointF(0, tile / 2), knob);
    const QPainterPath up = Circle(bl + QPointF(tile / 2, 0), knob);

    struct Piece {
        QPainterPath shape;
        QColor fill;
    };
    // Colours of the old 16-colour palette, so the small icon keeps that feel.
    const Piece pieces[] = {
        { Square(tl, tile).united(right).subtracted(up), QColor(255, 0, 0) },
        { Square(tr, tile).united(down).subtracted(right), QColor(255, 255, 0) },
        { Square(br, tile).united(left).subtracted(down), QColor(0, 255, 0) },
        { Square(bl, tile).united(up).subtracted(left), QColor(0, 0, 255) },
    };

    QPen outline(QColor(0, 0, 0));
    outline.setWidthF(smooth ? pen : 0.0);
    outline.setJoinStyle(Qt::MiterJoin);
    painter.setPen(outline);
    for (const Piece& piece : pieces) {
        painter.setBrush(piece.fill);
        painter.drawPath(piece.shape);
    }
    return image;
}

QIcon TiloraIcon()
{
    QIcon icon;
    // Drawn at each size rather than scaled, as the installed icons are.
    for (int size : { 16, 22, 24, 32, 48, 64, 128, 256 })
        icon.addPixmap(QPixmap::fromImage(DrawTiloraIcon(size)));
    return icon;
}
