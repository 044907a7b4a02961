// SPDX-License-Identifier: GPL-3.0-or-later
// Pauses of the user-interface thread.
#pragma once

namespace ktx {

// Waits `ms` without handling any window event (the link's pacing).
void WaitBusy(int ms);
// Handles at most one pending event, then waits `ms` with the hourglass cursor, handling none.
void WaitWithCursor(int ms);
// Handles at most one pending event.
void ProcessOneMessage();

}  // namespace ktx
