// SPDX-License-Identifier: GPL-3.0-or-later
// Where document windows go in the main window's client area: a new document, "&Nebeneinander"
// (tile) and "Ü&berlappend" (cascade), computed without windows. The client area never grows
// for its documents: every rectangle lies wholly inside `area` and is at least `usable` (the
// smallest size at which a document works; limited to the area itself), however many there are.
// Sizes and positions in pixels of the client area.
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

namespace ktx {

// A grid as square as the area allows with no cell below `usable`, the last row's windows
// widened to fill it. With more windows than such cells, the rows overlap evenly and every
// window's top edge (its title bar) stays in view.
std::vector<QRect> TileRects(QSize area, int count, QSize usable);

// Windows of one size, each `step` right of and below the one before: as large as the stack
// allows, at most three quarters of the area. A stack that would leave the area starts again at
// the top left corner.
std::vector<QRect> CascadeRects(QSize area, int count, QSize usable, int step);

// The `index`-th document opened (counting the ones still open): three quarters of the area,
// `step` right of and below the one before, starting again at the top left corner when the next
// would leave the area.
QRect NewDocumentRect(QSize area, int index, QSize usable, int step);

}  // namespace ktx
