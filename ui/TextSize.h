#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QScreen>
#include <QSize>
#include <QWidget>

#include <algorithm>

// A window's size for so many columns and lines of its own font, so that it
// grows with the desktop's font, and never beyond the screen's free area.
inline QSize textSize(const QWidget &window, int columns, int lines)
{
    const QFontMetrics metrics = window.fontMetrics();
    QSize size(metrics.averageCharWidth() * columns, metrics.lineSpacing() * lines);
    if (const QScreen *screen = window.screen()) {
        const QSize free = screen->availableGeometry().size() * 9 / 10;
        size = size.boundedTo(free);
    }
    return size;
}
