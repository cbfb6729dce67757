#include "TransferEngine.h"

#include "FileNames.h"

#include <QObject>
#include <utility>

TransferEngine::TransferEngine(SerialComm &port, TransferWindow &window, Timer &timer1,
                               Timer &timer2, FileDialog &dialog, SendSource &source,
                               ReceiveTarget &target)
    : m_port(port), m_window(window), m_timer1(timer1), m_timer2(timer2), m_dialog(dialog),
      m_source(source), m_target(target)
{
    m_timer1.setInterval(kInactivity);
    m_timer1.setEnabled(false);
    m_timer2.setInterval(kSendCompletion);
    m_timer2.setEnabled(false);
    m_timer1.setOnTick([this] { Timer1_Timer(); });
    m_timer2.setOnTick([this] { Timer2_Timer(); });
    QObject::connect(&m_port, &SerialComm::OnComm, &m_port, [this] { Comm1_OnComm(); });
}

TransferEngine::~TransferEngine()
{
    // A save still under way would report to an engine that is gone.
    closeTransferFile();
    QObject::disconnect(&m_port, &SerialComm::OnComm, &m_port, nullptr);
    m_timer1.setOnTick({});
    m_timer2.setOnTick({});
}

QString TransferEngine::lineErrorName(int code)
{
    switch (code) {
    case CommEvents::comEventBreak:
        return tr("break error");
    case CommEvents::comEventFrame:
        return tr("framing error");
    case CommEvents::comEventOverrun:
        return tr("overrun error");
    case CommEvents::comEventRxOver:
        return tr("rx overflow error");
    case CommEvents::comEventRxParity:
        return tr("parity error");
    case CommEvents::comEventTxFull:
        return tr("tx full error");
    case CommEvents::comEventDCB:
        return tr("dcb error");
    case CommEvents::comEventPortLost:
        return tr("port disconnected error");
    default:
        return {};
    }
}

QString TransferEngine::lineErrorMessage(int code) const
{
    QString message = tr("%1 on com port, reset and retry").arg(lineErrorName(code));
    // A network line's loss names its server and why.
    if (const CommError error = m_port.lastError();
        code == CommEvents::comEventPortLost && error.network)
        message += QObject::tr("\n\nThe connection to the serial server %1 ended: %2. Check "
                               "the network and the server, then try again.")
                       .arg(FileNames::printable(error.device), error.reason);
    return message;
}

QString TransferEngine::unreachable(const CommError &error) const
{
    return QObject::tr("Cannot reach the serial server %1 %2: %3.\n\nCheck that the server is "
                       "switched on and on the network, its address and port (%4), and that no "
                       "other program is connected to that port.")
        .arg(FileNames::printable(error.device), m_openedFor, error.reason,
             m_portsAsGiven ? QObject::tr("--port") : QObject::tr("File > Port Settings"));
}

void TransferEngine::Comm1_OnComm()
{
    const auto code = qint16(m_port.CommEvent());
    switch (code) {
    case CommEvents::comEvReceive:
        ReceiveData();
        return;
    case CommEvents::comEvSend:
        m_outputLeft = true;
        SendNextBlock();
        return;
    case CommEvents::comEvQuiet:
        lineFellQuiet();
        return;
    case 3: // modem lines, ring and end-of-file character
    case 4:
    case 5:
    case 6:
    case 7:
        return;
    default:
        if (m_state.RxState == TransferState::RxSaving || !m_busy) {
            // A line kept between backups: the one being saved is whole; the
            // next starts on a line opened afresh.
            m_lineSpoiled = true;
            return;
        }
        if (code == CommEvents::comEventPortLost &&
            m_port.lastError().kind == CommError::Kind::Unreachable)
            endWithMessage(unreachable(m_port.lastError()),
                           TransferWindow::Ending::PortUnavailable);
        else if (code == CommEvents::comEventPortLost &&
                 m_state.RxState == TransferState::RxReceivingBlocks)
            lineLostWhileReceiving(code);
        else if (code == CommEvents::comEventPortLost && everyByteHasLeft())
            endSent(); // a far end that hangs up once it has the file has lost nothing
        else
            endWithMessage(lineErrorMessage(code));
    }
}

void TransferEngine::holdControls()
{
    m_window.showBusy(true);
    m_busy = true;
    m_ending = {};
}

void TransferEngine::enterBusyState(TransferWindow::Direction direction)
{
    if (!m_busy)
        holdControls();
    m_countWords = direction == TransferWindow::Direction::Send ? tr("%1 bytes remaining")
                                                                : tr("%1 bytes received");
    m_window.transferStarted(direction,
                             direction == TransferWindow::Direction::Send ? m_state.ByteCount : 0);
}

void TransferEngine::showProgress(float max, float value, bool visible)
{
    m_progress = {max, value, visible};
    m_window.showProgress(m_progress);
}

void TransferEngine::refuseFile(const QString &message)
{
    // Refused as it was opened: a window already busy ends the transfer that
    // has not begun; otherwise only the message is shown.
    if (m_busy) {
        endWithMessage(message, TransferWindow::Ending::FileRefused);
        return;
    }
    closeTransferFile();
    showFailure(message);
}

void TransferEngine::applyIdleState()
{
    m_window.showBusy(false);
    if (std::exchange(m_busy, false))
        m_window.transferEnded(m_ending.kind, m_ending.words);
    m_ending = {};
}

void TransferEngine::ResetTransfer()
{
    // A line kept for the next backup keeps what has come on it.
    const bool keep = m_keepLine && m_ending.kind == TransferWindow::Ending::Saved &&
                      !m_lineSpoiled && m_port.PortOpen();
    // Closing leaves output that has not left yet to the driver, which sends
    // it on; an abort has discarded it before.
    if (m_port.PortOpen() && !keep)
        m_port.setPortOpen(false);
    m_port.setRThreshold(0);
    m_heldThreshold = 0;
    m_port.setSThreshold(0);
    if (!keep)
        m_nextHeader.clear();
    m_lineSpoiled = false;
    m_lookalikeEnd = false;
    m_state.RxState = TransferState::RxIdle;
    m_timer1.setEnabled(false);
    m_window.showAnimation(false);
    if (m_progress.visible)
        showProgress(m_progress.max, m_progress.value, false);
    applyIdleState();
}

void TransferEngine::closeTransferFile()
{
    if (!m_state.FileOpen)
        return;
    m_opening = false; // an open that has not answered never will now
    if (m_sending)
        m_source.close(); // a chunk still being read is never handed over
    m_sending = false;
    m_chunkPending = false;
    // Without commit() the copy goes and whatever was at the target stays as
    // it was.
    if (m_state.DeleteOnAbort)
        m_target.discard();
    m_state.FileOpen = false;
    m_state.DeleteOnAbort = false;
}

void TransferEngine::AbortTransfer()
{
    // Only an abort throws away output that has not left yet; a normal end
    // lets the driver send it.
    if (m_port.PortOpen())
        m_port.discardOutput();
    ResetTransfer();
    closeTransferFile();
}

void TransferEngine::cmdCancel_Click()
{
    // A copy that has begun to take the chosen name cannot be stopped any
    // more: the save goes on, and its own ending tells how it went.
    if (m_state.RxState == TransferState::RxSaving && !m_target.abandon()) {
        m_window.SbrMessage(tr("The backup is taking its name on the disk; it can no longer be "
                               "canceled."));
        return;
    }
    m_ending = {TransferWindow::Ending::Canceled, tr("Action canceled")};
    AbortTransfer();
    m_window.SbrMessage(tr("Action canceled"));
}

void TransferEngine::endWithMessage(const QString &message, TransferWindow::Ending ending,
                                    const QString &details)
{
    // A failure is never followed by the completion of a send whose last
    // chunk had already left.
    m_timer2.setEnabled(false);
    m_ending = {ending, message};
    AbortTransfer();
    showFailure(message, details);
}

QString TransferEngine::bytesThatCame(const QByteArray &bytes)
{
    QString text;
    for (const char byte : bytes)
        text += (byte >= 0x20 && byte < 0x7f) ? QChar(QLatin1Char(byte)) : QChar(u'.');
    return QObject::tr("The first %1 bytes that came:\n\"%2\"\n%3")
        .arg(bytes.size())
        .arg(text, QString::fromLatin1(bytes.toHex(' ').toUpper()));
}

void TransferEngine::showFailure(const QString &message, const QString &details)
{
    // The status line describes only a transfer that runs or has ended well:
    // it is cleared before the box, so that nothing out of date stands
    // behind it, and once more after it.
    m_window.SbrMessage(QString());
    if (details.isEmpty())
        m_window.messageBox(message);
    else
        m_window.detailedMessageBox(message, details);
    m_window.SbrMessage(QString());
}

void TransferEngine::namePortsAsGiven(const QString &deviceName)
{
    m_portsAsGiven = true;
    m_deviceName = deviceName;
}

QString TransferEngine::portName() const
{
    if (!m_deviceName.isEmpty())
        return m_deviceName;
    return QStringLiteral("COM%1").arg(m_port.CommPort());
}

QString TransferEngine::portAdviceAsGiven(const CommError &error)
{
    switch (error.kind) {
    case CommError::Kind::NotFound:
        return QObject::tr("\n\nCheck that the cable or adapter is plugged in, or give another "
                           "device with --port (zo-vovere --list-ports lists the ports this "
                           "computer has).");
    case CommError::Kind::NotSerial:
        return QObject::tr("\n\nGive a serial device with --port (zo-vovere --list-ports lists "
                           "the ports this computer has).");
    case CommError::Kind::NoHardware:
        return QObject::tr("\n\nMany PCs have the device %1 without a serial port behind it. A "
                           "USB serial adapter appears as /dev/ttyUSB0 or /dev/ttyACM0 "
                           "(zo-vovere --list-ports lists the ports this computer has): give it "
                           "with --port.")
            .arg(FileNames::printable(error.device));
    default:
        // Permissions and a port in use are told as in the window.
        return {};
    }
}

bool TransferEngine::openPort(const QString &whatFor)
{
    m_openedFor = whatFor;
    m_port.setCommPort(m_portNumber);
    if (m_port.setPortOpen(true))
        return true;

    const CommError error = m_port.lastError();
    QString message =
        m_deviceName.isEmpty()
            ? QObject::tr("Cannot open %1 (%2) %3: %4.")
                  .arg(portName(), FileNames::printable(error.device), whatFor, error.reason)
            : QObject::tr("Cannot open %1 %2: %3.")
                  .arg(FileNames::printable(error.device), whatFor, error.reason);
    if (error.network) {
        endWithMessage(message + QObject::tr("\n\nGive the serial server as rfc2217://HOST:PORT "
                                             "or tcp://HOST:PORT (%1).")
                                     .arg(m_portsAsGiven ? QObject::tr("--port")
                                                         : QObject::tr("File > Port Settings")),
                       TransferWindow::Ending::PortUnavailable);
        return false;
    }
    if (const QString advice = m_portsAsGiven ? portAdviceAsGiven(error) : QString();
        !advice.isEmpty()) {
        endWithMessage(message + advice, TransferWindow::Ending::PortUnavailable);
        return false;
    }
    switch (error.kind) {
    case CommError::Kind::PermissionDenied:
        switch (error.access.remedy) {
        case DeviceNode::Access::Remedy::JoinGroup:
            message += QObject::tr("\n\nTo use this port your user account must be a member of "
                                   "the \"%1\" group: run \"sudo adduser $USER %1\", then log "
                                   "out and in again.")
                           .arg(error.access.group);
            break;
        case DeviceNode::Access::Remedy::LogInAgain:
            message += QObject::tr("\n\nYour user account is a member of the \"%1\" group, but "
                                   "this session began before it joined: log out and in again.")
                           .arg(error.access.group);
            break;
        case DeviceNode::Access::Remedy::AskOwner:
            message += QObject::tr("\n\n%1 belongs to the user \"%2\" and the group \"%3\", "
                                   "and its permissions let no group you could join use it: ask "
                                   "whoever looks after this computer to give your account "
                                   "access.")
                           .arg(FileNames::printable(error.device), error.access.owner,
                                error.access.group);
            break;
        }
        break;
    case CommError::Kind::Busy:
        message += QObject::tr("\n\nClose the other program that uses the port and try again.");
        break;
    case CommError::Kind::NotFound:
        message += QObject::tr("\n\nCheck that the cable or adapter is plugged in, or choose the "
                               "device for %1 under File > Port Settings.")
                       .arg(portName());
        break;
    case CommError::Kind::NotSerial:
        message += QObject::tr("\n\nChoose the serial device for %1 under File > Port Settings.")
                       .arg(portName());
        break;
    case CommError::Kind::NoHardware:
        message += QObject::tr("\n\nMany PCs have the device %2 without a serial port behind "
                               "it. A USB serial adapter appears as /dev/ttyUSB0 or /dev/ttyACM0 "
                               "(File > Port Settings lists the ports this computer has): choose "
                               "it for %1 there.")
                       .arg(portName(), FileNames::printable(error.device));
        break;
    default:
        break;
    }
    endWithMessage(message, TransferWindow::Ending::PortUnavailable);
    return false;
}

void TransferEngine::FormUnload()
{
    if (m_port.PortOpen())
        m_port.setPortOpen(false);
    closeTransferFile();
}
