// Receiving a backup: the start, the header check, block by block writing,
// the tail picked up once the line falls quiet, and the endings.
#include "TransferEngine.h"

#include "FileKinds.h"
#include "FileNames.h"

#include <QObject>

#include <limits>

namespace {
QString saveFailed(const QString &path, const QString &reason)
{
    return QObject::tr("Cannot save the backup to \"%1\": %2.\n\nNothing was saved; any earlier "
                       "file of that name is unchanged.")
        .arg(FileNames::printable(path), reason);
}
} // namespace

void TransferEngine::cmdReceive_Click()
{
    m_dialog.Flags = FileDialog::cdlOFNHideReadOnly;
    m_dialog.Flags = m_dialog.Flags | FileDialog::cdlOFNOverwritePrompt;
    m_dialog.DialogTitle = tr("Filename to save the data");
    m_dialog.Filter = tr("Text files (*.txt)|*.txt|All Files (*.*)|*.*");
    m_dialog.FilterIndex = 0;
    m_dialog.FileName = m_remembered.RecNameSave;
    m_window.SbrMessage(tr("Select or enter a file name where the data will be stored."));
    // A completion still armed by an earlier, cancelled send must not write
    // over the dialog's status text, nor end this receive.
    m_timer2.setEnabled(false);
    if (!m_dialog.ShowSave()) {
        m_window.SbrMessage(QString());
        return;
    }

    m_state.TransferPath = m_dialog.FileName;
    m_remembered.RecNameSave = m_state.TransferPath;

    // The copy is made now, so that a target that cannot be written is
    // reported before the user starts the dump on the desk. It is made where
    // a share that stalls holds up nothing: until the target answers, the
    // window is busy and Cancel discards the copy.
    m_state.FileOpen = true;
    m_state.DeleteOnAbort = true;
    m_opening = true;
    m_target.openThen(m_state.TransferPath, [this](bool opened) {
        m_opening = false;
        receiveTargetOpened(opened);
    });
    if (m_opening) {
        m_window.SbrMessage(tr("Making a file to save the data in…"));
        holdControls();
    }
}

void TransferEngine::receiveTargetOpened(bool opened)
{
    if (!opened) {
        refuseFile(saveFailed(m_state.TransferPath, m_target.errorString()));
        return;
    }
    m_window.SbrMessage(tr("Waiting for data transmission from Glow Arranger."));
    enterBusyState(TransferWindow::Direction::Receive);
    m_state.ByteCount = 0;
    m_streamEnd.clear();
    m_lookalikeEnd = false;
    // A line kept from the last backup holds the start of this one, unless
    // it has failed since.
    if (m_port.PortOpen() && std::exchange(m_lineSpoiled, false))
        m_port.setPortOpen(false);
    const bool kept = m_port.PortOpen();
    if (!kept && !openPort(QObject::tr("to receive the backup")))
        return;
    if (!kept)
        m_port.discardInput();
    m_port.setRThreshold(kHeaderSize);
    m_state.RxState = TransferState::RxWaitingForHeader;
    m_state.BlockPos = 0;
    if (!m_nextHeader.isEmpty()) {
        m_state.InBuf = std::exchange(m_nextHeader, {});
        acceptHeader();
    }
}

bool TransferEngine::writeToTarget(const QByteArray &bytes)
{
    if (m_target.write(bytes))
        return true;
    endWithMessage(saveFailed(m_state.TransferPath, m_target.errorString()));
    return false;
}

void TransferEngine::ReceiveData()
{
    m_state.ChunkLen = qint16(m_port.RThreshold());
    if (m_state.ChunkLen <= 0)
        return; // no receive is listening
    if (m_state.RxState == TransferState::RxReceivingBlocks && !m_takingAll &&
        !m_target.hasRoom()) {
        waitForDisk();
        return;
    }
    m_state.InBuf = m_port.read(m_state.ChunkLen);
    if (m_state.InBuf.size() != m_state.ChunkLen)
        return; // fewer bytes than the threshold: nothing was due

    if (m_state.RxState == TransferState::RxWaitingForHeader)
        acceptHeader();
    else if (m_state.RxState == TransferState::RxReceivingBlocks && m_lookalikeEnd)
        afterLookalikeEnd();
    else if (m_state.RxState == TransferState::RxReceivingBlocks)
        receiveBlock();
}

void TransferEngine::acceptHeader()
{
    m_state.Block = QByteArray(kBlockSize, '\0');
    for (int i = 0; i < kHeaderSize; ++i) {
        m_state.HeaderBytes[i] = m_state.InBuf[i];
        m_state.Block[m_state.BlockPos] = m_state.InBuf[i];
        m_state.BlockPos += 1;
    }
    if (QByteArray(m_state.HeaderBytes.data(), kHeaderSize) != kBackupHeader) {
        // The temporary file goes; the target was never touched. The waiting
        // text goes too: nothing waits any more.
        endWithMessage(tr("header data error, reset and retry"), TransferWindow::Ending::Failed,
                       bytesThatCame(QByteArray(m_state.HeaderBytes.data(), kHeaderSize)));
        return;
    }

    m_window.SbrMessage(tr("header received"));
    m_state.RxState = TransferState::RxReceivingBlocks;
    m_port.setRThreshold(kFirstBlockRest);
    startInactivity(kInactivity);
    m_streamEnd = m_state.InBuf.right(kTailMarkerFromEnd);
    m_window.showAnimation(true);
}

void TransferEngine::receiveBlock()
{
    // The thresholds make the block exactly full: 13 + 1011, or 0 + 1024.
    Q_ASSERT(m_state.BlockPos + m_state.ChunkLen == kBlockSize);
    if (m_state.BlockPos == 0)
        m_state.Block = m_state.InBuf; // a whole block as read, not copied again
    else
        m_state.Block.replace(m_state.BlockPos, m_state.ChunkLen, m_state.InBuf);
    m_state.BlockPos += m_state.ChunkLen;
    if (m_state.ByteCount > std::numeric_limits<qint32>::max() - kBlockSize) {
        endWithMessage(QObject::tr("The backup is larger than 2147482624 bytes, more than this "
                                   "program can count. Nothing was saved; any earlier file of "
                                   "that name is unchanged."));
        return;
    }
    m_state.ByteCount += kBlockSize;
    m_window.showCount(TransferWindow::Direction::Receive, m_state.ByteCount, m_countWords);
    // The inactivity timer is not restarted for each block: when it runs
    // out it measures the quiet since the line's last byte and waits for
    // the rest of the interval if need be.
    if (!m_timer1.enabled())
        startInactivity(kInactivity);
    if (!writeToTarget(m_state.Block))
        return;
    m_port.setRThreshold(kBlockSize);
    m_state.BlockPos = 0;
    m_streamEnd = m_state.Block.right(kTailMarkerFromEnd);
    // A ':' at 1017 is data unless the line falls quiet after this block.
}

void TransferEngine::takeTail()
{
    // Whatever waits below a whole block joins the bytes of the block being
    // assembled (the header alone, if no block has been completed yet).
    const int waiting = m_port.InBufferCount();
    m_state.Block.resize(m_state.BlockPos);
    if (waiting <= 0)
        return;
    m_state.ChunkLen = qint16(std::min(waiting, kBlockSize));
    m_state.InBuf = m_port.read(m_state.ChunkLen);
    m_state.Block += m_state.InBuf;
    m_state.BlockPos = qint16(m_state.Block.size());
    m_streamEnd = (m_streamEnd + m_state.InBuf).right(kTailMarkerFromEnd);
}

bool TransferEngine::streamIsComplete() const
{
    return m_streamEnd.size() == kTailMarkerFromEnd && m_streamEnd[0] == kEndMarker;
}

void TransferEngine::startInactivity(std::chrono::milliseconds wait)
{
    m_timer1.setInterval(wait);
    m_timer1.setEnabled(true);
}

void TransferEngine::waitForDisk()
{
    // The disk is behind: the bytes stay in the port (and the driver below
    // it) until it has caught up, rather than piling up in memory.
    m_heldThreshold = m_port.RThreshold();
    m_port.setRThreshold(0);
    m_target.whenRoom([this] { readAgain(); });
}

void TransferEngine::readAgain()
{
    if (m_heldThreshold > 0 && m_state.RxState == TransferState::RxReceivingBlocks)
        m_port.setRThreshold(std::exchange(m_heldThreshold, 0)); // what waits is handed over
}

void TransferEngine::takeWaitingBlocks()
{
    // The line has paused or ended: whole blocks the port holds (no more
    // than its buffer) are handled as their notifications would have been,
    // whether the disk has caught up or not.
    if (m_heldThreshold > 0)
        m_port.setRThreshold(std::exchange(m_heldThreshold, 0));
    m_takingAll = true;
    while (m_state.RxState == TransferState::RxReceivingBlocks && m_port.RThreshold() > 0 &&
           m_port.InBufferCount() >= m_port.RThreshold())
        ReceiveData();
    m_takingAll = false;
}

void TransferEngine::endReceiveOnQuiet(int lineErrorCode)
{
    takeWaitingBlocks();
    if (m_state.RxState != TransferState::RxReceivingBlocks)
        return; // a write failed and has ended the receive
    takeTail();
    if (!streamIsComplete()) {
        if (lineErrorCode == 0)
            lostConnection();
        else
            endWithMessage(lineErrorMessage(lineErrorCode));
        return;
    }
    if (m_state.BlockPos > 0 && !writeToTarget(m_state.Block))
        return;
    FinishReceive();
}

bool TransferEngine::backupUnderway() const
{
    return m_state.RxState == TransferState::RxReceivingBlocks ||
           m_state.RxState == TransferState::RxSaving || !m_nextHeader.isEmpty() ||
           (m_port.PortOpen() && m_port.InBufferCount() > 0);
}

void TransferEngine::lineFellQuiet()
{
    // A pause: if what has come so far looks complete, it is written now, so
    // that the bytes after the pause can be seen to start a new backup.
    if (m_state.RxState != TransferState::RxReceivingBlocks || m_lookalikeEnd)
        return;
    takeWaitingBlocks();
    if (m_state.RxState != TransferState::RxReceivingBlocks)
        return;
    // Blocks taken just now came before the pause: the quiet counts from
    // their last byte, not from now.
    startInactivity(std::max(std::chrono::milliseconds(1), kInactivity - m_port.QuietTime()));
    takeTail();
    if (!streamIsComplete()) {
        m_state.Block.resize(kBlockSize); // the block goes on
        m_port.setRThreshold(kBlockSize - m_state.BlockPos);
        return;
    }
    if (m_state.BlockPos > 0 && !writeToTarget(m_state.Block))
        return;
    m_state.ByteCount += m_state.BlockPos;
    m_state.Block = QByteArray(kBlockSize, '\0');
    m_state.BlockPos = 0;
    m_lookalikeEnd = true;
    m_port.setRThreshold(kHeaderSize);
}

void TransferEngine::afterLookalikeEnd()
{
    m_lookalikeEnd = false;
    if (m_state.InBuf == kBackupHeader) {
        // Everything before it is on its way to the file: the first backup
        // is complete.
        m_nextHeader = m_state.InBuf;
        FinishReceive();
        return;
    }
    // Data after all: it starts a block, as the header starts the first.
    m_state.Block.replace(0, kHeaderSize, m_state.InBuf);
    m_state.BlockPos = kHeaderSize;
    m_streamEnd = (m_streamEnd + m_state.InBuf).right(kTailMarkerFromEnd);
    m_port.setRThreshold(kFirstBlockRest);
    startInactivity(kInactivity);
}

void TransferEngine::Timer1_Timer()
{
    m_timer1.setEnabled(false);
    if (m_state.RxState != TransferState::RxReceivingBlocks)
        return;
    if (m_heldThreshold > 0) {
        // Bytes wait unread for the disk: the line cannot be judged quiet
        // until they have been taken.
        m_window.SbrMessage(tr("Waiting for the disk to take the data…"));
        startInactivity(kInactivity);
        return;
    }
    takeWaitingBlocks();
    if (m_state.RxState != TransferState::RxReceivingBlocks)
        return;
    // Any byte restarts the wait, not only a whole block: the line must have
    // been quiet for the whole interval since its last byte.
    const std::chrono::milliseconds quiet = m_port.QuietTime();
    if (quiet < kInactivity) {
        startInactivity(kInactivity - quiet);
        return;
    }
    endReceiveOnQuiet(0);
}

void TransferEngine::lineLostWhileReceiving(int code)
{
    // A device that goes away after the line had been quiet for the whole
    // inactivity time has lost nothing of this backup: what has arrived is
    // decided on as the quiet line would decide. Any earlier loss may have
    // taken the last bytes with it (a hang-up drops what the driver held
    // unread, and a byte that came after the port's last look was never
    // seen), so nothing can show the backup complete.
    if (m_port.QuietTime() >= kInactivity) {
        m_lineSpoiled = true; // not to be kept for the next backup
        endReceiveOnQuiet(code);
        return;
    }
    endWithMessage(lineErrorMessage(code) + QStringLiteral("\n\n") +
                   tr("The line went down before the backup could be confirmed complete: a "
                      "backup is complete only once the line has been quiet for three seconds "
                      "after its last byte. Nothing was saved; any earlier file of that name is "
                      "unchanged."));
}

void TransferEngine::FinishReceive()
{
    // The line's part is over. The file's part (everything on the disk, then
    // the new name, then the folder) may take a while on a slow stick or a
    // share: the window stays busy and Cancel works until it is done.
    m_timer1.setEnabled(false);
    if (m_port.PortOpen() && !m_keepLine)
        m_port.setPortOpen(false);
    m_port.setRThreshold(0);
    m_state.RxState = TransferState::RxSaving;
    m_target.finish([this](ReceiveTarget::Committed committed) {
        // A save that ends after Cancel, or after the window went, is not
        // this engine's any more.
        if (m_state.RxState == TransferState::RxSaving)
            saveFinished(committed);
    });
}

void TransferEngine::saveFinished(ReceiveTarget::Committed committed)
{
    const QString reason = m_target.errorString();
    const QString keptAs = m_target.earlierKeptAs();
    QString failure; // none: saved, and on the disk
    switch (committed) {
    case ReceiveTarget::Committed::Durable:
        break;
    case ReceiveTarget::Committed::NotDurable:
        failure = QObject::tr("The backup was written to \"%1\", but the system could not confirm "
                              "that it is on the disk: %2.\n\nA power cut in the next minute could "
                              "still undo it. Keep the show on the desk until the backup has been "
                              "copied elsewhere.")
                      .arg(FileNames::printable(m_state.TransferPath), reason) +
                  (keptAs.isEmpty() ? QString()
                                    : QObject::tr("\n\nThe earlier file is kept as \"%1\".")
                                          .arg(FileNames::printable(keptAs)));
        break;
    case ReceiveTarget::Committed::Failed:
        failure = keptAs.isEmpty()
                      ? saveFailed(m_state.TransferPath, reason)
                      : QObject::tr("Cannot save the backup to \"%1\": %2.\n\nNothing was saved; "
                                    "the earlier file of that name is now \"%3\".")
                            .arg(FileNames::printable(m_state.TransferPath), reason,
                                 FileNames::printable(keptAs));
        break;
    }
    const QString saved = tr("File has been saved.");
    const bool anotherBegan = !m_nextHeader.isEmpty();
    m_ending = failure.isEmpty() ? Ending{TransferWindow::Ending::Saved, saved}
                                 : Ending{TransferWindow::Ending::Failed, failure};
    ResetTransfer();
    closeTransferFile(); // discards the copy, where it did not take the name
    if (!failure.isEmpty()) {
        showFailure(failure);
        return;
    }
    m_window.SbrMessage(saved);
    if (anotherBegan && !m_port.PortOpen()) // not kept for it
        m_window.messageBox(
            tr("Another backup began on the line right after this one; it was not received. "
               "To save it too, start the receive again, then the dump on the desk."));
}

void TransferEngine::lostConnection()
{
    endWithMessage(tr("Connection was lost."));
}
