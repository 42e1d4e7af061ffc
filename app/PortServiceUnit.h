#pragma once

// The installed program's port service runs as a systemd user unit; when nothing answers on
// its control socket at start-up, the program starts the unit (waiting a few seconds at most).
void StartPortServiceUnitIfNeeded();
