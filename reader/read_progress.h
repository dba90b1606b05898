// How far reading a picture has come, for a player waiting on a long open, and the way they give it up.
#pragma once

#include <QtGlobal>

#include <functional>

// What a long read is doing, for the player waiting on it.
enum class ReadStage { Reading, ReadyingMemory, WalkingScans, Decoding, Turning };

// Whoever waits on a long read: told now and then that "done" of "total" is read, answering whether to
// go on, and told what the read is doing. Either may be left empty.
struct ReadProgress {
    std::function<bool(qint64 done, qint64 total)> goesOn;
    std::function<void(ReadStage)> stage;
};

// Raised where the player gave an open up: as with the Open dialog cancelled, there is nothing to tell
// and nothing has changed.
struct OpenGivenUp { };
