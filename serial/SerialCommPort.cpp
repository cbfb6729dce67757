#include "SerialCommPort.h"

#include "DeviceNode.h"
#include "PortUsers.h"

#include <QFileInfo>
#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

using namespace CommEvents;

SerialCommPort::SerialCommPort(DeviceResolver resolve, QObject *parent)
    : SerialComm(parent), m_resolve(std::move(resolve))
{
    m_drainTimer.setSingleShot(true);
    m_drainTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_drainTimer, &QTimer::timeout, this, &SerialCommPort::checkTransmitEmpty);
    m_quietLook.setSingleShot(true);
    m_quietLook.setTimerType(Qt::PreciseTimer); // never early
    m_quietLook.setInterval(kQuietCheck);
    connect(&m_quietLook, &QTimer::timeout, this, &SerialCommPort::lookForQuiet);
    m_clock.start();
}

SerialCommPort::~SerialCommPort()
{
    close();
}

void SerialCommPort::setCommPort(int port)
{
    m_commPort = port;
}

QString SerialCommPort::devicePath() const
{
    return m_resolve ? m_resolve(m_commPort) : QString();
}

bool SerialCommPort::setPortOpen(bool open)
{
    if (open == m_open)
        return true;
    if (open)
        return this->open();
    close();
    return true;
}

bool SerialCommPort::open()
{
    m_error = {};
    m_error.device = devicePath();
    if (m_error.device.isEmpty()) {
        m_error.kind = CommError::Kind::NotFound;
        m_error.reason = tr("no device is configured for this port");
        return false;
    }

    // What the path is comes first: a file or /dev/null is no serial port,
    // whoever else has it open.
    const DeviceNode::Check check = DeviceNode::inspect(m_error.device);
    switch (check.kind) {
    case DeviceNode::Check::Kind::Terminal:
        break;
    case DeviceNode::Check::Kind::Missing:
        m_error.kind = CommError::Kind::NotFound;
        m_error.reason = tr("the device does not exist");
        return false;
    case DeviceNode::Check::Kind::NotTerminal:
        m_error.kind = CommError::Kind::NotSerial;
        m_error.reason = tr("not a serial port (%1)").arg(check.what);
        return false;
    case DeviceNode::Check::Kind::Refused:
        if (check.error == EACCES || check.error == EPERM) {
            m_error.kind = CommError::Kind::PermissionDenied;
            m_error.reason = tr("permission denied");
            m_error.access = DeviceNode::access(m_error.device);
            return false;
        }
        if (DeviceNode::meansNoHardware(check.error)) {
            m_error.kind = CommError::Kind::NoHardware;
            m_error.reason = tr("there is no serial port at this device (%1)")
                                 .arg(QString::fromLocal8Bit(std::strerror(check.error)));
            return false;
        }
        if (check.error != EBUSY) { // EBUSY: held exclusively; who holds it is told below
            m_error.kind = CommError::Kind::Other;
            m_error.reason = QString::fromLocal8Bit(std::strerror(check.error));
            return false;
        }
        break;
    }

    // Another program on the same line would take the bytes meant for us
    // (or interleave its own): honour its lock file and its open descriptor.
    if (const auto user = PortUsers::holder(m_error.device)) {
        m_error.kind = CommError::Kind::Busy;
        m_error.reason = inUseBy(user->describe());
        return false;
    }

    auto *serial = new QSerialPort(this);
    // The device itself, not a link to it: Qt names its lock file after the
    // path, and other programs look for LCK..ttyUSB0, not for the link's name.
    const QString resolved = QFileInfo(m_error.device).canonicalFilePath();
    serial->setPortName(resolved.isEmpty() ? m_error.device : resolved);
    serial->setBaudRate(kBaudRate);
    serial->setDataBits(QSerialPort::Data8);
    serial->setParity(QSerialPort::NoParity);
    serial->setStopBits(QSerialPort::OneStop);
    serial->setFlowControl(QSerialPort::NoFlowControl);
    serial->setReadBufferSize(kInputBufferSize);
    // Qt takes its own lock file and TIOCEXCL; the flock below is the third
    // convention, the one picocom and others use.
    if (!serial->open(QIODevice::ReadWrite)) {
        describeOpenFailure(*serial);
        delete serial;
        return false;
    }
#ifdef Q_OS_LINUX
    if (::flock(int(serial->handle()), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        serial->close();
        delete serial;
        m_error.kind = CommError::Kind::Busy;
        const auto user = PortUsers::openedBy(m_error.device);
        m_error.reason = inUseBy(user ? user->describe() : QString());
        return false;
    }
#endif

    m_serial = serial;
    m_open = true;
    m_lost = false;
    m_stash.clear();
    m_outputPending = false;
    m_lastArrival = m_quietSeen = now();
    connect(serial, &QSerialPort::readyRead, this, &SerialCommPort::onReadyRead);
    connect(serial, &QSerialPort::bytesWritten, this, &SerialCommPort::onBytesWritten);
    connect(serial, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(int(e)); });

    m_countersKnown = false;
#ifdef Q_OS_LINUX
    serial_icounter_struct counters{};
    if (::ioctl(int(serial->handle()), TIOCGICOUNT, &counters) == 0) {
        m_countersKnown = true;
        m_counters = {counters.frame, counters.overrun, counters.parity, counters.brk,
                      counters.buf_overrun};
    }
#endif
    return true;
}

QString SerialCommPort::inUseBy(const QString &who)
{
    if (who.isEmpty())
        return tr("the port is in use by another program");
    return tr("the port is in use by %1").arg(who);
}

void SerialCommPort::describeOpenFailure(const QSerialPort &serial)
{
    const auto error = serial.error();
    m_error.reason = serial.errorString();
    if (error == QSerialPort::DeviceNotFoundError) {
        m_error.kind = CommError::Kind::NotFound;
        return;
    }
    if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError) {
        // Qt reports a lock held by another program as a permission error; if
        // we may open the device ourselves, it is busy.
        const QByteArray path = QFile::encodeName(m_error.device);
        if (::access(path.constData(), R_OK | W_OK) == 0) {
            m_error.kind = CommError::Kind::Busy;
            const auto user = PortUsers::holder(m_error.device);
            m_error.reason = inUseBy(user ? user->describe() : QString());
        } else {
            m_error.kind = CommError::Kind::PermissionDenied;
            m_error.reason = tr("permission denied");
            m_error.access = DeviceNode::access(m_error.device);
        }
        return;
    }
    m_error.kind = CommError::Kind::Other;
}

void SerialCommPort::close()
{
    ++m_generation;
    m_open = false;
    m_lost = false;
    m_queue.clear();
    m_lostPending = false;
    m_deliveryScheduled = false;
    m_outputPending = false;
    m_drainTimer.stop();
    m_quietLook.stop();
    m_stash.clear();
    if (m_serial) {
        disconnect(m_serial, nullptr, this, nullptr);
        // Output that has not left yet stays with the driver, which sends it
        // on: a normal end must not throw away the end of a file. Whoever
        // wants it gone (Cancel, a failure) sets OutBufferCount 0 first.
        if (m_serial->isOpen())
            m_serial->close();
        m_serial->deleteLater();
        m_serial = nullptr;
    }
}

int SerialCommPort::InBufferCount() const
{
    if (m_serial)
        return int(std::min<qint64>(m_serial->bytesAvailable(), INT_MAX));
    return int(m_stash.size());
}

void SerialCommPort::setInBufferCount(int count)
{
    if (count != 0)
        return;
    m_stash.clear();
    if (m_serial && m_serial->isOpen()) {
        m_serial->clear(QSerialPort::Input);
        m_serial->readAll(); // what Qt had already taken from the driver
    }
}

std::chrono::milliseconds SerialCommPort::QuietTime()
{
    if (m_serial && !m_lost)
        lookForQuiet();
    return std::chrono::milliseconds(std::max<qint64>(0, m_quietSeen - m_lastArrival) / 1000000);
}

void SerialCommPort::lookForQuiet()
{
    // Only a look that sees the driver holding nothing unread counts: bytes
    // waiting there have arrived, and their read is on its way. A device
    // that fails the question may have gone, taking such bytes with it; one
    // that does not know it (not a tty ioctl it keeps) is taken at its word.
    if (!m_serial || m_lost)
        return;
#ifdef Q_OS_LINUX
    int waiting = 0;
    if (::ioctl(int(m_serial->handle()), TIOCINQ, &waiting) == 0) {
        if (waiting > 0)
            return;
    } else if (errno != ENOTTY && errno != EINVAL) {
        return;
    }
#endif
    m_quietSeen = now();
}

int SerialCommPort::driverOutQueue() const
{
#ifdef Q_OS_LINUX
    if (m_serial && m_serial->isOpen()) {
        int queued = 0;
        if (::ioctl(int(m_serial->handle()), TIOCOUTQ, &queued) == 0)
            return queued;
    }
#endif
    return 0;
}

int SerialCommPort::OutBufferCount() const
{
    if (!m_serial)
        return 0;
    return int(m_serial->bytesToWrite()) + driverOutQueue();
}

void SerialCommPort::setOutBufferCount(int count)
{
    if (count != 0)
        return;
    m_outputPending = false;
    m_drainTimer.stop();
    if (m_serial && m_serial->isOpen())
        m_serial->clear(QSerialPort::Output);
}

void SerialCommPort::setRThreshold(int threshold)
{
    m_rThreshold = std::max(0, threshold);
    if (receiveDue())
        scheduleDelivery();
}

void SerialCommPort::setSThreshold(int threshold)
{
    m_sThreshold = std::max(0, threshold);
}

QByteArray SerialCommPort::Input()
{
    const int available = InBufferCount();
    const int take = m_inputLen == 0 ? available : std::min(m_inputLen, available);
    if (m_serial)
        return m_serial->read(take);
    QByteArray taken = m_stash.left(take);
    m_stash.remove(0, take);
    return taken;
}

bool SerialCommPort::Output(const QByteArray &data)
{
    if (!m_open || m_lost || !m_serial) {
        m_error = {CommError::Kind::NotOpen, devicePath(),
                   m_lost ? tr("the device is no longer available") : tr("the port is not open")};
        return false;
    }
    if (data.isEmpty())
        return true;
    // A send notification not yet handed over is out of date: the transmit
    // side is no longer empty. One is raised once these bytes have left.
    m_queue.erase(std::remove(m_queue.begin(), m_queue.end(), comEvSend), m_queue.end());
    qsizetype done = 0;
#ifdef Q_OS_LINUX
    // With nothing queued in Qt the bytes go to the driver at once, and an
    // empty transmit side is noticed at once: its notification is queued,
    // not emitted, and a turn of the event loop that is handing over
    // notifications hands it over next. What the driver does not take (its
    // queue is full, or it fails) goes through Qt, which reports a failing
    // device as before.
    if (m_serial->bytesToWrite() == 0) {
        const ssize_t n = ::write(int(m_serial->handle()), data.constData(), size_t(data.size()));
        if (n > 0)
            done = n;
    }
#endif
    if (done < data.size()) {
        const qint64 rest = data.size() - done;
        if (m_serial->write(data.constData() + done, rest) != rest) {
            m_error = {CommError::Kind::Io, devicePath(), m_serial->errorString()};
            return false;
        }
    }
    m_outputPending = true;
    m_drainTimer.stop();
    if (m_serial->bytesToWrite() == 0)
        checkTransmitEmpty();
    return true;
}

void SerialCommPort::onReadyRead()
{
    // Qt says so only when a read has brought bytes.
    m_lastArrival = now();
    m_quietLook.start();
    checkLineCounters();
    if (!receiveDue())
        return;
    // Handed over from here, without a further turn of the event loop,
    // unless a handler is running (it is then handed over after it).
    if (m_delivering || m_deliveryScheduled)
        scheduleDelivery();
    else
        deliver();
}

void SerialCommPort::onBytesWritten()
{
    checkLineCounters();
    if (m_serial && m_serial->bytesToWrite() == 0)
        checkTransmitEmpty();
}

void SerialCommPort::checkTransmitEmpty()
{
    if (!m_outputPending || !m_serial || m_serial->bytesToWrite() > 0)
        return;
    checkLineCounters();
    const int queued = driverOutQueue();
    if (queued > 0) {
        // Sleep for most of the time the line needs for what is queued (ten
        // bit times a byte), then look again every two milliseconds.
        const int estimateMs = int(qint64(queued) * 10 * 1000 / kBaudRate);
        m_drainTimer.start(std::max(2, estimateMs - 2));
        return;
    }
    m_outputPending = false;
    if (m_sThreshold > 0)
        raise(comEvSend);
}

void SerialCommPort::checkLineCounters()
{
#ifdef Q_OS_LINUX
    if (!m_countersKnown || !m_serial || !m_serial->isOpen())
        return;
    serial_icounter_struct now{};
    if (::ioctl(int(m_serial->handle()), TIOCGICOUNT, &now) != 0)
        return;
    const Counters before = m_counters;
    m_counters = {now.frame, now.overrun, now.parity, now.brk, now.buf_overrun};
    if (now.brk != before.brk)
        raise(comEventBreak);
    if (now.frame != before.frame)
        raise(comEventFrame);
    if (now.overrun != before.overrun)
        raise(comEventOverrun);
    if (now.buf_overrun != before.bufOverrun)
        raise(comEventRxOver);
    if (now.parity != before.parity)
        raise(comEventRxParity);
#endif
}

void SerialCommPort::onError(int error)
{
    // Only failures of the device itself; a refused setting or a timeout
    // leaves the line as it was.
    switch (QSerialPort::SerialPortError(error)) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::UnknownError:
        if (m_serial)
            portLost(m_serial->errorString());
        return;
    default:
        return;
    }
}

void SerialCommPort::portLost(const QString &reason)
{
    if (m_lost || !m_open || !m_serial)
        return;
    m_lost = true;
    m_error = {CommError::Kind::Io, devicePath(), reason};
    // Keep what had arrived so that it is still offered, then let the device
    // go at once: Qt keeps reporting a hung-up descriptor in a tight loop.
    QSerialPort *serial = m_serial;
    m_serial = nullptr;
    disconnect(serial, nullptr, this, nullptr);
    m_stash = serial->readAll();
    m_outputPending = false;
    m_drainTimer.stop();
    m_quietLook.stop(); // what was seen before the loss is what counts
    QMetaObject::invokeMethod(
        serial,
        [serial] {
            serial->close();
            serial->deleteLater();
        },
        Qt::QueuedConnection);
    m_lostPending = true;
    scheduleDelivery();
}

bool SerialCommPort::receiveDue() const
{
    return m_open && m_rThreshold > 0 && InBufferCount() >= m_rThreshold;
}

void SerialCommPort::raise(int code)
{
    if (!m_open)
        return;
    m_queue.push_back(code);
    scheduleDelivery();
}

void SerialCommPort::scheduleDelivery()
{
    if (m_deliveryScheduled || m_delivering)
        return;
    m_deliveryScheduled = true;
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != m_generation)
                return; // raised by an opening that has since been closed
            m_deliveryScheduled = false;
            deliver();
        },
        Qt::QueuedConnection);
}

void SerialCommPort::deliver()
{
    if (m_delivering || !m_open)
        return;
    // Notifications are handed over one after another, each handler having
    // returned before the next; a burst is worked off in one go for a few
    // milliseconds, then the event loop gets its turn (painting, input).
    QElapsedTimer budget;
    budget.start();
    const quint64 generation = m_generation;
    do {
        // Received data goes first, so that bytes which arrived before a
        // device vanished are still handed over; line errors keep their order
        // among the send notifications.
        int code = 0;
        if (!m_queue.empty()) {
            code = m_queue.front();
            m_queue.pop_front();
        } else if (receiveDue()) {
            code = comEvReceive;
        } else if (m_lostPending) {
            m_lostPending = false;
            code = comEventPortLost;
        }
        if (code == 0)
            return;
        m_delivering = true;
        m_commEvent = code;
        emit OnComm();
        m_delivering = false;
        if (generation != m_generation || !m_open)
            return; // closed by the handler: nothing more of this opening
    } while (budget.elapsed() < kDeliveryBudgetMs);
    if (!m_queue.empty() || receiveDue() || m_lostPending)
        scheduleDelivery();
}
