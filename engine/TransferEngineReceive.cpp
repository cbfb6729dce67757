// Receiving a backup: the start, the header check, block by block writing,
// the tail picked up after three seconds of silence, and the endings.
#include "TransferEngine.h"

#include <QObject>

#include <limits>

namespace {
QString saveFailed(const QString &path, const QString &reason)
{
    return QObject::tr("Cannot save the backup to \"%1\": %2.\n\nNothing was saved; any earlier "
                       "file of that name is unchanged.")
        .arg(path, reason);
}
} // namespace

void TransferEngine::cmdReceive_Click()
{
    m_dialog.CancelError = true;
    m_dialog.Flags = FileDialog::cdlOFNHideReadOnly;
    m_dialog.Flags = m_dialog.Flags | FileDialog::cdlOFNOverwritePrompt;
    m_dialog.DialogTitle = QStringLiteral("Filename to save the data");
    m_dialog.Filter = QStringLiteral("Text files (*.txt)|*.txt|All Files (*.*)|*.*");
    m_dialog.FilterIndex = 0;
    m_dialog.FileName = m_remembered.RecNameSave;
    m_window.SbrMessage(
        QStringLiteral("Select or enter a file name where the data will be stored."));
    if (!m_dialog.ShowSave()) {
        m_window.SbrMessage(QString());
        return;
    }

    m_state.TransferPath = m_dialog.FileName;
    m_remembered.RecNameSave = m_state.TransferPath;
    // A completion still armed by an earlier, cancelled send must not end
    // this receive.
    m_timer2.setEnabled(false);

    m_window.SbrMessage(QStringLiteral("Waiting for data transmission from Glow Arranger."));
    enterBusyState();
    m_state.FileOpen = false;
    m_state.DeleteOnAbort = false;
    if (!openPort(QObject::tr("to receive the backup")))
        return;
    m_port.setInBufferCount(0);
    m_port.setRThreshold(kHeaderSize);
    m_state.RxState = TransferState::RxWaitingForHeader;
    m_state.BlockPos = 0;
}

void TransferEngine::ReceiveData()
{
    m_state.ChunkLen = qint16(m_port.RThreshold());
    if (m_state.ChunkLen <= 0)
        return; // no receive is listening
    m_port.setInputLen(m_state.ChunkLen);
    m_state.InBuf = m_port.Input();
    if (m_state.InBuf.size() != m_state.ChunkLen)
        return; // fewer bytes than the threshold: nothing was due

    if (m_state.RxState == TransferState::RxWaitingForHeader)
        acceptHeader();
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
        ResetTransfer();
        m_window.messageBox(QStringLiteral("header data error, reset and retry"));
        return;
    }

    m_window.SbrMessage(QStringLiteral("header received"));
    m_state.RxState = TransferState::RxReceivingBlocks;
    m_port.setRThreshold(kFirstBlockRest);
    m_timer1.setInterval(kInactivity);
    m_timer1.setEnabled(true);

    // The stream goes to a temporary file beside the target; the target is
    // replaced only once the end marker has arrived.
    auto file = std::make_unique<QSaveFile>(m_state.TransferPath);
    if (!file->open(QIODevice::WriteOnly)) {
        endWithMessage(saveFailed(m_state.TransferPath, file->errorString()));
        return;
    }
    m_receiveFile = std::move(file);
    m_state.FileOpen = true;
    m_state.DeleteOnAbort = true;
    m_state.ByteCount = 0;
    m_window.openAnimation(m_clipPath); // decoration only: the receive goes on without it
}

void TransferEngine::receiveBlock()
{
    m_timer1.setEnabled(false);
    // The thresholds make the block exactly full: 13 + 1011, or 0 + 1024.
    Q_ASSERT(m_state.BlockPos + m_state.ChunkLen == kBlockSize);
    m_state.Block.replace(m_state.BlockPos, m_state.ChunkLen, m_state.InBuf);
    m_state.BlockPos += m_state.ChunkLen;
    if (m_state.ByteCount > std::numeric_limits<qint32>::max() - kBlockSize) {
        endWithMessage(QObject::tr("The backup is larger than 2147482624 bytes, more than this "
                                   "program can count. Nothing was saved; any earlier file of "
                                   "that name is unchanged."));
        return;
    }
    m_state.ByteCount += kBlockSize;
    m_window.SbrMessage(QString::number(m_state.ByteCount) + QStringLiteral(" bytes received"));
    m_timer1.setEnabled(true);
    if (m_receiveFile->write(m_state.Block) != m_state.Block.size()) {
        endWithMessage(saveFailed(m_state.TransferPath, m_receiveFile->errorString()));
        return;
    }
    m_port.setRThreshold(kBlockSize);
    m_state.BlockPos = 0;
    if (m_state.Block[kMarkerIndex] == kEndMarker)
        FinishReceive();
}

void TransferEngine::Timer1_Timer()
{
    m_timer1.setEnabled(false);
    if (m_state.RxState != TransferState::RxReceivingBlocks)
        return;
    const int waiting = m_port.InBufferCount();
    if (waiting == 0) {
        lostConnection();
        return;
    }
    if (m_port.RThreshold() > 0 && waiting >= m_port.RThreshold()) {
        // A whole block is waiting and its notification is on its way: the
        // line is not quiet, so this is no tail.
        m_timer1.setEnabled(true);
        return;
    }
    m_state.ChunkLen = qint16(waiting);
    m_port.setInputLen(m_state.ChunkLen);
    m_state.InBuf = m_port.Input();
    const int n = int(m_state.InBuf.size());
    m_state.Block.resize(m_state.BlockPos);
    m_state.Block += m_state.InBuf;
    m_state.BlockPos += qint16(n);
    if (n >= kTailMarkerFromEnd && m_state.InBuf[n - kTailMarkerFromEnd] == kEndMarker) {
        if (m_receiveFile->write(m_state.Block) != m_state.Block.size()) {
            endWithMessage(saveFailed(m_state.TransferPath, m_receiveFile->errorString()));
            return;
        }
        FinishReceive();
        return;
    }
    lostConnection();
}

void TransferEngine::FinishReceive()
{
    ResetTransfer();
    const bool saved = m_receiveFile->commit();
    const QString reason = m_receiveFile->errorString();
    m_receiveFile.reset();
    m_state.FileOpen = false;
    m_state.DeleteOnAbort = false;
    if (!saved) {
        m_window.messageBox(saveFailed(m_state.TransferPath, reason));
        m_window.SbrMessage(QString());
        return;
    }
    m_window.SbrMessage(QStringLiteral("File has been saved."));
}

void TransferEngine::lostConnection()
{
    AbortTransfer();
    m_window.messageBox(QStringLiteral("Connection was lost."));
    m_window.SbrMessage(QString());
}
