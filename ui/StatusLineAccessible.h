#pragma once

#include <QAccessibleWidget>
#include <QWidget>

class QLabel;

// How a transfer ended, spoken by a screen reader while focus stays where
// it is: an accessible notification in the status bar that appears with its
// words (Orca speaks a notification as it is shown). It draws nothing: the
// status line beside it shows the same words.
class StatusAnnouncement final : public QWidget
{
  public:
    explicit StatusAnnouncement(QWidget *statusBar);
    void say(const QString &words);
};

// The status line as assistive technology reads it: its name says what it
// is ("Status line"), its text interface holds what it says now, word by
// word as a screen reader walks it.
class StatusLineAccessible final : public QAccessibleWidget, public QAccessibleTextInterface
{
  public:
    explicit StatusLineAccessible(QLabel *label);

    // Makes every QLabel named kObjectName read through this interface, and
    // every StatusAnnouncement a notification.
    static void install();
    inline static const QString kObjectName = QStringLiteral("sbrPanel");

    void *interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleTextInterface: one line of plain text, no selection.
    void selection(int, int *startOffset, int *endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int *startOffset, int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int *startOffset, int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                         int *endOffset) const override;
    int characterCount() const override { return int(shown().size()); }
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

  private:
    QString shown() const;
};
