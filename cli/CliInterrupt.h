#pragma once

#include <functional>

// The program's one answer to SIGINT and SIGTERM. A command that can stop cleanly catches them
// once at its start; from then on the first signal only asks it to stop (it starts nothing
// more and reports every device), and a second one of the same kind ends the program at once.
// Nothing replaces the handler while the command runs.
inline constexpr int kExitInterrupted = 130;  // what a shell reports for a program SIGINT ended

void CatchStopSignals();
bool StopRequested();

// Catches the signals while `work` runs unless the command caught them already, and gives them
// their default action again afterwards: a Ctrl-C then stops only that work (the first search
// of a command that sends nothing before it). Whether a stop was asked for.
bool RunStoppable(const std::function<void()>& work);
