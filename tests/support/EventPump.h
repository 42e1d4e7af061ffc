#pragma once

#include <functional>

// Delivers pending socket and thread events until the condition holds or the real-time
// guard runs out. Only I/O waits use it; timed flows run on the manual clock.
bool PumpUntil(const std::function<bool()>& done, int guardMs = 5000);
// Delivers whatever arrives within a short quiet spell, for "nothing more came" checks.
void PumpQuiet(int quietMs = 50);
