#pragma once

#include "PortChoice.h"
#include "TransferEngine.h"
#include "TransferWindow.h"

#include <QDateTime>
#include <QObject>

#include <functional>
#include <memory>

// Transfers from a terminal: the window's engine, port, timers and file
// threads, with a front end that writes what the window would show. Texts
// are the window's; progress is one line on a terminal, updated in place, or
// a plain line now and then when standard error is a file or a pipe.
class TerminalTransfer final : public QObject, public TransferWindow
{
    Q_OBJECT
  public:
    // What the transfer is built from; missing parts are the real ones.
    struct Parts
    {
        std::unique_ptr<SerialComm> port;
        std::unique_ptr<Timer> timer1;
        std::unique_ptr<Timer> timer2;
        std::unique_ptr<SendSource> source;
        std::unique_ptr<ReceiveTarget> target;
        std::function<QDateTime()> now; // the wall clock: rates and backup names
    };
    // Where it writes: status for progress and outcomes (standard error),
    // terminal when that is a terminal, quiet for the outcome alone.
    struct Output
    {
        std::function<void(const QString &)> status;
        bool terminal = false;
        bool quiet = false;
    };
    // How often progress is written at most.
    static constexpr qint64 kTerminalFrameMs = 250;
    static constexpr qint64 kPlainLineMs = 5000;
    // How long receiveInto waits after a failed backup before the next.
    static constexpr int kRetryMs = 1000;

    TerminalTransfer(PortChoice port, Output output, Parts parts = {});
    ~TerminalTransfer() override;

    void send(const QString &file);
    void receive(const QString &file);
    // Receives backup after backup into folder, each saved by the same rules
    // and named after the moment it was saved, until stop().
    // keep above 0: once a backup is saved, only the newest keep backups
    // of the folder stay (the names receiveInto gives; other files are left).
    void receiveInto(const QString &folder, int keep = 0);
    // A signal: a running transfer ends as Cancel ends it (output dropped,
    // an unfinished backup discarded, the port let go) and the program with
    // 128 + number. Waiting in receiveInto with nothing received yet ends
    // with success.
    void stop(int number);

    // The name a backup saved at moment gets in folder, one that is not
    // taken yet.
    static QString backupName(const QString &folder, const QDateTime &moment);
    // "12288 of 40960 bytes sent (30%), 1.9 kB/s, 0:15 left"; "34816 bytes
    // received, 1.9 kB/s". A rate of 0 is not known yet and left out.
    static QString progressText(Direction direction, qint64 done, qint64 total,
                                double bytesPerSecond);

    TransferEngine &engine() { return *m_engine; }

    // TransferWindow
    void SbrMessage(const QString &text) override;
    void showCount(Direction direction, qint64 bytes, const QString &text) override;
    void transferStarted(Direction direction, qint64 size) override;
    void transferEnded(Ending ending, const QString &words) override;
    void messageBox(const QString &text) override;

  signals:
    // Emitted once, from the event loop, with the exit status.
    void finished(int status);

  private:
    class GivenName;
    static QString stemFor(const QDateTime &moment);
    void write(const QString &text);
    void endProgressLine();
    void sayStartWords();
    void finish(int status);
    void receiveNext();
    void keepSaved();
    void removeOlderBackups();

    PortChoice m_choice;
    Output m_output;
    Parts m_parts;
    std::unique_ptr<GivenName> m_dialog;
    std::unique_ptr<TransferEngine> m_engine;

    QString m_folder;     // receiveInto's folder; empty otherwise
    int m_keep = 0;       // how many of its backups to keep; 0 for all
    QString m_file;       // the file of the transfer running or last run
    QString m_status;     // the last status text, shown when a transfer starts
    QString m_startWords; // ... once its line is open and set
    QString m_endedWords;
    bool m_running = false;
    bool m_finished = false;
    int m_stopSignal = 0;

    // Progress: the total of a send, the first count's bytes and time for
    // the rate, and when progress was last written.
    qint64 m_total = 0;
    qint64 m_firstDone = -1;
    QDateTime m_firstAt, m_writtenAt;
    bool m_lineOpen = false; // a progress line waits for its end on the terminal
};
