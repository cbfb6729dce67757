// Sending a file: the start, one chunk per transmit-empty notification, and
// the completion one second after the last chunk has left.
#include "FileKinds.h"
#include "FileNames.h"
#include "ProfileHeader.h"
#include "TransferEngine.h"

#include <QObject>

namespace {
QString notSentCompletely(const QString &path, const QString &reason)
{
    return QObject::tr("The file \"%1\" was not sent completely: %2.")
        .arg(FileNames::printable(path), reason);
}

QString tooLargeToSend(const QString &path)
{
    return QObject::tr("\"%1\" is too large to send: files of 2 GiB (2147483648 bytes) or more "
                       "are not supported.")
        .arg(FileNames::printable(path));
}
} // namespace

void TransferEngine::cmdSend_Click()
{
    offerToSend(m_remembered.NameSave, m_remembered.FilterSave);
}

void TransferEngine::offerToSend(const QString &fileName, qint16 filterIndex)
{
    m_dialog.Flags = FileDialog::cdlOFNFileMustExist;
    m_dialog.Flags = m_dialog.Flags | FileDialog::cdlOFNHideReadOnly;
    m_dialog.FileName = fileName;
    m_dialog.DialogTitle = tr("Filename to send");
    // Labels in the user's language; the remembered choice is its place.
    m_dialog.Filter =
        tr("Text files (*.txt)|*.txt|GA2 Fixture Profiles (*.gaf)|*.gaf|All Files (*.*)|*.*");
    m_dialog.FilterIndex = filterIndex;
    m_window.SbrMessage(tr("Select file to send to Glow Arranger."));
    // A completion still armed by an earlier, cancelled send must not write
    // over the dialog's status text, nor end this transfer.
    m_timer2.setEnabled(false);
    if (!m_dialog.ShowOpen()) {
        m_window.SbrMessage(QString());
        return;
    }

    m_state.TransferPath = m_dialog.FileName;
    m_remembered.NameSave = m_state.TransferPath;
    m_remembered.FilterSave = qint16(m_dialog.FilterIndex);

    // ByteCount is signed 32-bit: larger files are refused. The source opens
    // the file where a share that stalls holds up nothing: until it answers,
    // the window is busy and Cancel closes the source.
    m_sending = true;
    m_chunkPending = false;
    m_state.FileOpen = true;
    m_state.DeleteOnAbort = false;
    m_opening = true;
    m_source.open(m_state.TransferPath, kLargestSendable,
                  [this](const SendSource::Opening &opening) {
                      m_opening = false;
                      sendOpened(opening);
                  });
    if (m_opening) {
        m_window.SbrMessage(tr("sending file"));
        holdControls();
    }
}

void TransferEngine::sendOpened(const SendSource::Opening &opening)
{
    if (opening.tooLarge) {
        refuseFile(tooLargeToSend(m_state.TransferPath));
        return;
    }
    if (!opening.opened()) {
        refuseFile(QObject::tr("Cannot open \"%1\" for sending: %2.")
                       .arg(FileNames::printable(m_state.TransferPath), opening.error));
        return;
    }
    m_outputLeft = false;
    m_state.ByteCount = qint32(opening.size);
    m_lastOutQueue = -1;

    // Single precision, as the bar takes it; an empty file gets a maximum
    // of 1. The maximum is shown before the value starts again from 0.
    float max = float(m_state.ByteCount) / float(kBlockSize);
    if (max == 0.0f)
        max = 1.0f;
    showProgress(max, m_progress.value, m_progress.visible);
    showProgress(max, 0.0f, true);

    // The animation is decoration: a clip that cannot be read leaves the
    // control empty and the send goes on.
    m_window.showAnimation(true);
    if (!m_busy)
        m_window.SbrMessage(tr("sending file"));
    enterBusyState(TransferWindow::Direction::Send);

    if (!openPort(QObject::tr("to send the file")))
        return;
    m_port.discardOutput();
    m_port.setSThreshold(1);

    if (ProfileHeader::appliesTo(m_state.TransferPath)) {
        m_state.Block = ProfileHeader::build(m_state.TransferPath, quint32(m_state.ByteCount));
        m_outputLeft = false;
        if (!m_port.Output(m_state.Block)) {
            endWithMessage(notSentCompletely(m_state.TransferPath, m_port.lastError().reason));
            return;
        }
    }
    SendNextBlock();
}

void TransferEngine::SendNextBlock()
{
    if (!m_sending || m_chunkPending)
        return; // no send is running, or the chunk asked for is still being read

    if (m_state.ByteCount == 0) {
        m_timer2.setEnabled(true);
        return;
    }
    int chunk = kBlockSize;
    if (m_state.ByteCount > kBlockSize) {
        m_state.ByteCount -= kBlockSize;
    } else {
        chunk = int(m_state.ByteCount);
        m_state.ByteCount = 0;
    }

    // The source may hand the chunk over later (a file on a slow share): the
    // window goes on meanwhile, and Cancel forgets the read.
    m_chunkPending = true;
    m_source.read(chunk, [this, chunk](const QByteArray &bytes, const QString &error) {
        m_chunkPending = false;
        sendChunk(bytes, chunk, error);
    });
}

void TransferEngine::sendChunk(const QByteArray &chunk, qint64 wanted, const QString &error)
{
    if (chunk.size() != wanted) {
        const QString reason = !error.isEmpty() ? error
                                                : QObject::tr("the file became shorter while it "
                                                              "was being sent");
        endWithMessage(notSentCompletely(m_state.TransferPath, reason));
        return;
    }
    m_state.Block = chunk;
    m_outputLeft = false;
    if (!m_port.Output(m_state.Block)) {
        endWithMessage(notSentCompletely(m_state.TransferPath, m_port.lastError().reason));
        return;
    }
    if (m_state.ByteCount != 0)
        showProgress(m_progress.max, m_progress.value + 1.0f, m_progress.visible);
    m_window.showCount(TransferWindow::Direction::Send, m_state.ByteCount, m_countWords);
}

void TransferEngine::Timer2_Timer()
{
    m_timer2.setEnabled(false);
    // Where the port can tell that bytes are still on their way, the send
    // is not over until they have left; closing now would lose them. A queue
    // that does not move for a whole interval will not empty any more.
    if (m_sending && m_port.PortOpen()) {
        const int queued = m_port.OutBufferCount();
        if (queued > 0) {
            m_outputLeft = false;
            if (m_lastOutQueue < 0 || queued < m_lastOutQueue) {
                m_lastOutQueue = queued;
                m_timer2.setEnabled(true);
                return;
            }
            endWithMessage(notSentCompletely(
                m_state.TransferPath,
                QObject::tr("the port has not sent its last %1 bytes").arg(queued)));
            return;
        }
    }
    endSent();
}

bool TransferEngine::everyByteHasLeft() const
{
    // Every chunk has been handed to the port, the port has since seen its
    // transmit side empty, and it knows of nothing still on its way (a
    // network line's server may still have been sending).
    return m_sending && m_state.ByteCount == 0 && !m_chunkPending && m_outputLeft &&
           m_port.OutBufferCount() == 0;
}

void TransferEngine::endSent()
{
    m_timer2.setEnabled(false);
    const QString sent = tr("file has been sent");
    m_ending = {TransferWindow::Ending::Sent, sent};
    ResetTransfer();
    closeTransferFile();
    m_window.SbrMessage(sent);
}
