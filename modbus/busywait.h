#pragma once

// Waits the given milliseconds while processing events (at most 100 ms per
// round), so timers and sockets keep working during a connect wait. Measured
// by the time of day: a wait that crosses midnight ends at once.
void busyWait(int ms);
