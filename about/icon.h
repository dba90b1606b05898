// The game's own icon: four jigsaw tiles in bright colours fitted together.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

class QWidget;

// A square picture of the icon, size x size pixels, transparent around the tiles. Small sizes are
// drawn without smoothing in plain colours so they stay crisp.
QImage DrawTiloraIcon(int size);
// The window icon: the same drawing at each size a title bar, task switcher or dock asks for.
QIcon TiloraIcon();
// A child of the parent that shows the icon over the area, drawn at the screen's own pixel density on
// the background colour; it takes neither the mouse nor the focus from what lies beneath.
QWidget* NewIconView(QWidget* parent, const QRect& area, QColor background);
