// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_arrangement.h"

#include <algorithm>
#include <cmath>

namespace ktx {

namespace {

int CeilDiv(int a, int b) {
    return (a + b - 1) / b;
}

// A document below the area's own size cannot be asked for.
QSize Fit(QSize usable, QSize area) {
    return usable.boundedTo(area).expandedTo(QSize(1, 1));
}

// The top left corner of the `index`-th window of a stack of `size` windows stepping `step`.
QPoint StackPosition(QSize area, QSize size, int index, int step) {
    const int fit = 1 + std::max(0, std::min((area.width() - size.width()) / std::max(step, 1),
                                             (area.height() - size.height()) / std::max(step, 1)));
    const int k = index % fit;
    return {k * step, k * step};
}

}  // namespace

std::vector<QRect> TileRects(QSize area, int count, QSize usable) {
    std::vector<QRect> rects;
    if (count <= 0 || area.isEmpty()) {
        return rects;
    }
    const QSize least = Fit(usable, area);
    const int maxCols = std::max(1, area.width() / least.width());
    const int maxRows = std::max(1, area.height() / least.height());
    int cols = std::min(static_cast<int>(std::ceil(std::sqrt(count))), maxCols);
    int rows = CeilDiv(count, cols);
    if (rows > maxRows && count <= maxCols * maxRows) {
        cols = CeilDiv(count, maxRows);
        rows = CeilDiv(count, cols);
    }
    // Rows of `least` height overlap when there are more of them than fit.
    const bool overlap = rows > maxRows;
    const int height = overlap ? least.height() : area.height() / rows;
    for (int i = 0; i < count; ++i) {
        const int row = i / cols;
        const int inRow = row == rows - 1 ? count - row * cols : cols;
        const int col = i % cols;
        const int x = col * area.width() / inRow;
        const int right = (col + 1) * area.width() / inRow;
        const int y = overlap ? row * (area.height() - height) / (rows - 1) : row * height;
        const int bottom = !overlap && row == rows - 1 ? area.height() : y + height;
        rects.emplace_back(x, y, right - x, bottom - y);
    }
    return rects;
}

std::vector<QRect> CascadeRects(QSize area, int count, QSize usable, int step) {
    std::vector<QRect> rects;
    if (count <= 0 || area.isEmpty()) {
        return rects;
    }
    const QSize stacked = area - QSize(step, step) * (count - 1);
    const QSize size = stacked.boundedTo(area * 3 / 4).expandedTo(Fit(usable, area));
    for (int i = 0; i < count; ++i) {
        rects.emplace_back(StackPosition(area, size, i, step), size);
    }
    return rects;
}

QRect NewDocumentRect(QSize area, int index, QSize usable, int step) {
    if (area.isEmpty()) {
        return QRect(QPoint(0, 0), usable);
    }
    const QSize size = (area * 3 / 4).expandedTo(Fit(usable, area));
    return QRect(StackPosition(area, size, index, step), size);
}

}  // namespace ktx
