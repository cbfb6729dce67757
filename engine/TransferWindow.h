#pragma once

#include <QString>

// What a transfer tells the front end that runs it: the window, or a
// terminal. The engine keeps the transfer's state itself and never asks for
// it back; the events at the end are for a front end that shows them and
// may be ignored. Tests use a recording fake.
class TransferWindow
{
  public:
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

    // The progress of a send: single-precision maximum and value. The value
    // may stand above the maximum (a new maximum set while the last send's
    // value is still shown), which shows as full.
    struct Progress
    {
        float max = 100.0f;
        float value = 0.0f;
        bool visible = false;
    };

    virtual ~TransferWindow() = default;

    // Replaces the status line; an empty text clears it.
    virtual void SbrMessage(const QString &text) = 0;
    // Replaces the status line with a byte count: words are "%1 bytes
    // remaining" or "%1 bytes received", translated, with %1 standing for
    // bytes. Counts come once a block, faster than anyone reads: the window
    // may show only the latest of them now and then, and need not spend a
    // formatting on the others.
    virtual void showCount(Direction direction, qint64 bytes, const QString &words) = 0;

    // A transfer has started: the file is open and the port is being
    // opened. size is the length of the file a send sends (0 for a
    // receive). Every start is followed by exactly one ending.
    virtual void transferStarted(Direction direction, qint64 size) = 0;
    // The transfer has ended, and how; words are what is shown about it
    // next, on the status line or in a message box. A file that takes its
    // time to open shows the busy state before the start: an ending
    // (FileRefused, Canceled) may then come without one.
    virtual void transferEnded(Ending ending, const QString &words) = 0;

    // Modal box with the exclamation icon and OK, without a title of its own.
    virtual void messageBox(const QString &text) = 0;
    // The same, with details the user may open (what came instead of what
    // was expected); where there is nowhere to show them, the text alone.
    virtual void detailedMessageBox(const QString &text, const QString &details)
    {
        Q_UNUSED(details);
        messageBox(text);
    }

    // ---- Events a front end may ignore.

    // Busy from a start (or a file still opening) to its ending: the commands
    // that start a transfer, the port choice and the file menu's transfer
    // items are held, and Cancel is offered; idle gives them back.
    virtual void showBusy(bool busy) { Q_UNUSED(busy); }
    // The send's progress changed.
    virtual void showProgress(const Progress &progress) { Q_UNUSED(progress); }
    // The transfer animation plays from a send's start, or a receive's
    // accepted header, to the transfer's end.
    virtual void showAnimation(bool playing) { Q_UNUSED(playing); }
};
