// The game's own icon: four jigsaw tiles in bright colours fitted together.
#pragma once

#include <QIcon>
#include <QImage>

// A square picture of the icon, size x size pixels, transparent around the tiles. Small sizes are
// drawn without smoothing in plain colours so they stay crisp.
QImage DrawTiloraIcon(int size);
// The window icon: the same drawing at each size a title bar, task switcher or dock asks for.
QIcon TiloraIcon();
