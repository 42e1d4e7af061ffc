#pragma once

#include <functional>

// Delivers pending socket and thread events until the condition holds or the real-time
// guard runs out. Only I/O waits use it; timed flows run on the manual clock.
bool PumpUntil(const std::function<bool()>& done, int guardMs = 5000);
// Delivers events until none has come for quietMs, for "nothing more came" checks and to let
// a request and its answer cross loopback between two ticks of the manual clock.
void PumpQuiet(int quietMs = 50);
