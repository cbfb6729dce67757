#pragma once

#include <QString>

// The controls of the main window that the transfer touches. The engine never
// sees a widget; the window implements this, tests use a recording fake.
class TransferWindow
{
  public:
    // The controls switched between the idle and the busy state, in the order
    // in which both states apply them.
    enum class Control
    {
        cmdSend,
        cmdReceive,
        Frame1,
        Option1,
        Option2,
        mnuOpen,
        mnuSaveas
    };

    enum class Direction
    {
        Send,
        Receive
    };
    // How a transfer ended.
    enum class Ending
    {
        Sent,
        Saved,
        Failed,
        Canceled,
        PortUnavailable, // the port could not be opened: missing, busy, not allowed
        FileRefused      // the chosen file could not be opened to send, or a copy made beside it
    };

    virtual ~TransferWindow() = default;

    // Replaces the status line; an empty text clears it.
    virtual void SbrMessage(const QString &text) = 0;
    // Replaces the status line with a byte count: text is "N bytes remaining"
    // or "N bytes received", and bytes is its N. Counts come once a block,
    // faster than anyone reads: the window may show only the latest of them
    // now and then.
    virtual void showCount(Direction direction, qint64 bytes, const QString &text) = 0;

    // A transfer has started: the file is open and the port is being
    // opened. Every start is followed by exactly one ending.
    virtual void transferStarted(Direction direction) = 0;
    // The transfer has ended, and how; words are what is shown about it
    // next, on the status line or in a message box. A file that takes its
    // time to open shows the busy state before the start: an ending
    // (FileRefused, Canceled) may then come without one.
    virtual void transferEnded(Ending ending, const QString &words) = 0;

    virtual void setControlEnabled(Control control, bool enabled) = 0;
    virtual void setCancelVisible(bool visible) = 0;
    // True when "Com 1" is the selected port.
    virtual bool option1Selected() const = 0;

    // The progress bar takes single-precision maximum and value; a value above
    // the maximum is accepted (and shown as full).
    virtual void setProgressMax(float max) = 0;
    virtual float progressMax() const = 0;
    virtual void setProgressValue(float value) = 0;
    virtual float progressValue() const = 0;
    virtual void setProgressVisible(bool visible) = 0;

    // Opens the clip at path and plays it; false when it cannot be read.
    virtual bool openAnimation(const QString &path) = 0;
    virtual void closeAnimation() = 0;

    // Modal box with the exclamation icon and OK, without a title of its own.
    virtual void messageBox(const QString &text) = 0;
    // The same, with details the user may open (what came instead of what
    // was expected); where there is nowhere to show them, the text alone.
    virtual void detailedMessageBox(const QString &text, const QString &details)
    {
        Q_UNUSED(details);
        messageBox(text);
    }
};
