// Opening photos as a player meets it, beside one plain decode of the same file (bench_open.cpp).
#pragma once

// Needs a screen named "desk" of 2560 x 1440 among the offscreen display's screens.
void RegisterOpenPhotos();
