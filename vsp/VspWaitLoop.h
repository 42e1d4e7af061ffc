#pragma once

#include <functional>

// Runs a request that may block for seconds (a connection attempt) on a worker thread, while a
// local event loop on the calling thread keeps the windows painting and the timers and sockets
// running. User input is held off until the request returns, so the form cannot be used
// half-way through a command.
void RunWhilePainting(const std::function<void()>& work);
