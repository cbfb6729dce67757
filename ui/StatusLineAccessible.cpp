#include "StatusLineAccessible.h"

#include <QLabel>
#include <QTextBoundaryFinder>

StatusAnnouncement::StatusAnnouncement(QWidget *statusBar) : QWidget(statusBar)
{
    setFixedSize(0, 0);
    hide();
}

void StatusAnnouncement::say(const QString &words)
{
    // Shown again for each ending: a screen reader speaks it as it appears.
    hide();
    setAccessibleName(words);
    show();
}

StatusLineAccessible::StatusLineAccessible(QLabel *label)
    : QAccessibleWidget(label, QAccessible::StaticText)
{
}

void StatusLineAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory([](const QString &, QObject *object) -> QAccessibleInterface * {
            auto *label = qobject_cast<QLabel *>(object);
            if (label && label->objectName() == kObjectName)
                return new StatusLineAccessible(label);
            if (auto *announcement = dynamic_cast<StatusAnnouncement *>(object))
                return new QAccessibleWidget(announcement, QAccessible::Notification);
            return nullptr;
        });
        return true;
    }();
    Q_UNUSED(installed);
}

void *StatusLineAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString StatusLineAccessible::shown() const
{
    return static_cast<const QLabel *>(widget())->text();
}

void StatusLineAccessible::selection(int, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
}

QString StatusLineAccessible::text(int startOffset, int endOffset) const
{
    const QString all = shown();
    if (endOffset < 0 || endOffset > all.size())
        endOffset = int(all.size());
    return startOffset < 0 || startOffset > endOffset
               ? QString()
               : all.mid(startOffset, endOffset - startOffset);
}

QString StatusLineAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                           int *startOffset, int *endOffset) const
{
    const QString all = shown();
    *startOffset = *endOffset = -1;
    if (offset < 0 || offset >= all.size())
        return {};
    switch (boundaryType) {
    case QAccessible::CharBoundary:
        *startOffset = offset;
        *endOffset = offset + 1;
        break;
    case QAccessible::WordBoundary:
    case QAccessible::SentenceBoundary: {
        QTextBoundaryFinder finder(boundaryType == QAccessible::WordBoundary
                                       ? QTextBoundaryFinder::Word
                                       : QTextBoundaryFinder::Sentence,
                                   all);
        finder.setPosition(offset);
        *startOffset = finder.isAtBoundary() ? offset : int(finder.toPreviousBoundary());
        finder.setPosition(offset);
        *endOffset = int(finder.toNextBoundary());
        break;
    }
    default: // one line, one paragraph
        *startOffset = 0;
        *endOffset = int(all.size());
        break;
    }
    return all.mid(*startOffset, *endOffset - *startOffset);
}

QString StatusLineAccessible::textBeforeOffset(int offset,
                                               QAccessible::TextBoundaryType boundaryType,
                                               int *startOffset, int *endOffset) const
{
    textAtOffset(offset, boundaryType, startOffset, endOffset);
    if (*startOffset <= 0) {
        *startOffset = *endOffset = -1;
        return {};
    }
    return textAtOffset(*startOffset - 1, boundaryType, startOffset, endOffset);
}

QString StatusLineAccessible::textAfterOffset(int offset,
                                              QAccessible::TextBoundaryType boundaryType,
                                              int *startOffset, int *endOffset) const
{
    textAtOffset(offset, boundaryType, startOffset, endOffset);
    if (*endOffset < 0)
        return {};
    return textAtOffset(*endOffset, boundaryType, startOffset, endOffset);
}

QRect StatusLineAccessible::characterRect(int offset) const
{
    const QString all = shown();
    if (offset < 0 || offset >= all.size())
        return {};
    const QFontMetrics metrics = widget()->fontMetrics();
    const QRect inside = static_cast<const QLabel *>(widget())->contentsRect();
    const QRect local(inside.left() + metrics.horizontalAdvance(all.left(offset)), inside.top(),
                      metrics.horizontalAdvance(all.at(offset)), inside.height());
    return QRect(widget()->mapToGlobal(local.topLeft()), local.size());
}

int StatusLineAccessible::offsetAtPoint(const QPoint &point) const
{
    for (int offset = 0; offset < characterCount(); ++offset) {
        if (characterRect(offset).contains(point))
            return offset;
    }
    return -1;
}

QString StatusLineAccessible::attributes(int, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}
