// How far reading a picture has come, for a player waiting on a long open, and the way they give it up.
#pragma once

#include <QtGlobal>

#include <functional>

// Told now and then that "done" of "total" is read; answers whether to go on.
using ReadProgress = std::function<bool(qint64 done, qint64 total)>;

// Raised where the player gave an open up: as with the Open dialog cancelled, there is nothing to tell
// and nothing has changed.
struct OpenGivenUp { };
