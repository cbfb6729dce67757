#pragma once

#include "FileDialog.h"
#include "ReceiveTarget.h"
#include "SendSource.h"
#include "SerialComm.h"
#include "Timer.h"
#include "TransferWindow.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <array>
#include <memory>

// The one transfer in progress. Receive states are those of RxState.
struct TransferState
{
    static constexpr quint8 RxIdle = 0;
    static constexpr quint8 RxWaitingForHeader = 1;
    static constexpr quint8 RxReceivingBlocks = 2;
    static constexpr quint8 RxSaving = 3; // the port is closed; the target is being committed

    QString TransferPath; // as the file dialog returned it
    bool FileOpen = false;
    bool DeleteOnAbort = false; // the target's copy is open: an unfinished receive
    qint32 ByteCount = 0;       // send: bytes still to go; receive: whole blocks received
    quint8 RxState = RxIdle;
    QByteArray InBuf;
    qint16 ChunkLen = 0;
    QByteArray Block;
    qint16 BlockPos = 0;
    std::array<char, 13> HeaderBytes{};
};

// What the window remembers between runs and shows in the next dialog.
struct RememberedValues
{
    QString NameSave;
    qint16 FilterSave = 0;
    QString RecNameSave;
};

// Sending, receiving, and every way a transfer ends. It owns no widget and no
// device: the window, the port, both timers, the file dialog, the send source
// and the receive target are handed in, and the engine outlives none of them.
//
// Every ending goes through ResetTransfer; Cancel, a line error, a lost
// connection and every failure go through AbortTransfer as well, which drops
// output still queued, closes the file and, for a receive, discards the
// target's unfinished copy. The copy is made when the target is chosen and
// takes the target's name only once the whole backup is on the disk, so an
// earlier backup survives any failure. A Cancel that comes once the copy has
// begun to take the name does not stop it: the status line says so, and the
// save's own ending follows.
//
// A backup is complete when the line has been quiet for the inactivity time
// after its last byte, whichever byte it was, and the bytes received so far,
// counted from the header's first byte, have the end marker seven bytes
// before the last. A device that goes away before that time has passed ends
// the receive as a line failure: a hang-up drops what the driver held
// unread, so nothing seen before it can prove that no byte came after.
//
// A complete-looking stream, a pause (the port's comEvQuiet) and then the 13
// bytes of a new header are two backups: the first is complete where the
// second begins. A front end that keeps the line between backups
// (keepLineBetweenBackups) receives the second on the same open line;
// otherwise the first is saved and the user told that the second was not.
class TransferEngine
{
    Q_DECLARE_TR_FUNCTIONS(TransferEngine)

  public:
    static constexpr int kBlockSize = 1024;
    static constexpr int kHeaderSize = 13;
    static constexpr int kFirstBlockRest = kBlockSize - kHeaderSize; // 1011
    static constexpr int kTailMarkerFromEnd = 7;
    static constexpr char kEndMarker = ':';
    static constexpr std::chrono::milliseconds kInactivity{3000};
    static constexpr std::chrono::milliseconds kSendCompletion{1000};
    static constexpr qint64 kLargestSendable = 0x7FFFFFFF; // ByteCount is signed 32-bit
    inline static const QByteArray kBackupHeader = QByteArrayLiteral("GLOW ARRANGER");

    TransferEngine(SerialComm &port, TransferWindow &window, Timer &timer1, Timer &timer2,
                   FileDialog &dialog, SendSource &source, ReceiveTarget &target);
    ~TransferEngine();
    TransferEngine(const TransferEngine &) = delete;
    TransferEngine &operator=(const TransferEngine &) = delete;

    // How messages name the port and tell where another is chosen: by
    // default the window's COM1 or COM2 and File > Port Settings. A terminal
    // names the port as it was given (a device that is neither COM1's nor
    // COM2's by its path: deviceName) and points to --port.
    void namePortsAsGiven(const QString &deviceName);

    // The port the next transfer opens: 1 for COM1, 2 (the default) for
    // COM2. The window's choice, or the one a terminal was given.
    void choosePort(int number) { m_portNumber = number; }

    // Commands of the window.
    void cmdSend_Click();
    void cmdReceive_Click();
    void cmdCancel_Click();
    // Send File with the dialog showing this file and filter instead of the
    // remembered ones; they are remembered only if the user confirms.
    void offerToSend(const QString &fileName, qint16 filterIndex);

    // Events.
    void Comm1_OnComm();
    void Timer1_Timer();
    void Timer2_Timer();

    void ResetTransfer();
    void AbortTransfer();

    // The port and file half of unloading the window: the port is closed and
    // an open transfer file is closed (an unfinished receive is discarded).
    void FormUnload();

    // True from a start's busy state until the reset that ends it.
    bool transferInProgress() const { return m_busy; }

    // After a saved backup the port stays open, and what came meanwhile is
    // the start of the next receive: for a front end that receives backup
    // after backup. A line error or a loss while saving closes it as ever.
    void keepLineBetweenBackups(bool keep) { m_keepLine = keep; }
    // True once a byte of a backup has come that no ending has dealt with
    // yet: stopping now would lose it.
    bool backupUnderway() const;

    const TransferState &state() const { return m_state; }
    RememberedValues &remembered() { return m_remembered; }
    const RememberedValues &remembered() const { return m_remembered; }

    // The name of a line-error code, empty for a code without one.
    static QString lineErrorName(int code);
    QString lineErrorMessage(int code) const;
    // A network line's server that could not be reached or set, named, with
    // what to check.
    QString unreachable(const CommError &error) const;

  private:
    void SendNextBlock();
    void sendChunk(const QByteArray &chunk, qint64 wanted, const QString &error);
    void ReceiveData();
    void FinishReceive();
    void saveFinished(ReceiveTarget::Committed committed);
    void acceptHeader();
    void receiveBlock();
    void takeTail();
    void lineFellQuiet();
    void afterLookalikeEnd();
    void takeWaitingBlocks();
    void waitForDisk();
    void readAgain();
    void startInactivity(std::chrono::milliseconds wait);
    bool streamIsComplete() const;
    void endReceiveOnQuiet(int lineErrorCode);
    void lineLostWhileReceiving(int code);
    void lostConnection();
    bool everyByteHasLeft() const;
    void endSent();
    void sendOpened(const SendSource::Opening &opening);
    void receiveTargetOpened(bool opened);
    void refuseFile(const QString &message);
    bool writeToTarget(const QByteArray &bytes);

    // The busy state of a running transfer, while its file is being opened.
    void holdControls();
    void showProgress(float max, float value, bool visible);
    void enterBusyState(TransferWindow::Direction direction);
    void applyIdleState();
    bool openPort(const QString &whatFor);
    // What a terminal user does about a port that cannot be opened, where it
    // differs from the window's advice; empty where it does not.
    static QString portAdviceAsGiven(const CommError &error);
    void closeTransferFile();
    void endWithMessage(const QString &message,
                        TransferWindow::Ending ending = TransferWindow::Ending::Failed,
                        const QString &details = {});
    // The bytes that came, as text (what cannot be shown as a dot) and in hex.
    static QString bytesThatCame(const QByteArray &bytes);
    void showFailure(const QString &message, const QString &details = {});
    QString portName() const;
    bool m_portsAsGiven = false;
    QString m_deviceName; // the port's name in messages when not COM1's nor COM2's
    QString m_openedFor; // what the port was last opened for, in messages

    SerialComm &m_port;
    TransferWindow &m_window;
    Timer &m_timer1;
    Timer &m_timer2;
    FileDialog &m_dialog;
    SendSource &m_source;
    ReceiveTarget &m_target;
    int m_portNumber = 2;
    TransferWindow::Progress m_progress;

    TransferState m_state;
    RememberedValues m_remembered;
    bool m_busy = false;
    // How the running transfer is ending, told to the window when it goes
    // idle; an ending nobody named (the window closing) is a cancel.
    struct Ending
    {
        TransferWindow::Ending kind = TransferWindow::Ending::Canceled;
        QString words;
    } m_ending;
    // The last bytes of the received stream, at most seven: whether the
    // marker stands where the controller puts it.
    QByteArray m_streamEnd;
    // The stream looked complete when the line paused; the next 13 bytes say
    // whether a new backup begins there.
    bool m_lookalikeEnd = false;
    // The header of the backup that began right after the one being saved.
    QByteArray m_nextHeader;
    // The status words for a byte count of the running transfer, translated
    // once at its start rather than for every block.
    QString m_countWords;
    // While the target is behind: the threshold to listen with again once
    // it has caught up (0: not waiting).
    int m_heldThreshold = 0;
    bool m_takingAll = false; // the line has paused or ended: every whole block is taken
    bool m_keepLine = false;
    bool m_lineSpoiled = false; // a line error or a loss while a kept line saved
    // Bytes the port still held at the last completion tick of a send; -1
    // before the first.
    int m_lastOutQueue = -1;
    // The file chosen is being opened (or the copy beside it made) and has
    // not answered yet.
    bool m_opening = false;
    bool m_sending = false;      // the source holds the file being sent
    bool m_chunkPending = false; // a chunk has been asked of the source and not yet handed over
    // The port has said that its transmit side emptied after the last bytes
    // handed to it: they have left the computer.
    bool m_outputLeft = false;
};
