#include "SerialCommPort.h"

#include "ExclusiveOpen.h"

#include <QSerialPort>

#include <algorithm>
#include <climits>
#include <utility>

using namespace CommEvents;

SerialCommPort::SerialCommPort(DeviceResolver resolve, QObject *parent,
                               std::shared_ptr<const LineDriver> driver)
    : QueuedComm(parent), m_resolve(std::move(resolve)), m_driver(std::move(driver))
{
    m_drainTimer.setSingleShot(true);
    m_drainTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_drainTimer, &QTimer::timeout, this, &SerialCommPort::checkTransmitEmpty);
    m_quietLook.setSingleShot(true);
    m_quietLook.setTimerType(Qt::PreciseTimer); // never early
    m_quietLook.setInterval(kQuietCheck);
    connect(&m_quietLook, &QTimer::timeout, this, &SerialCommPort::onQuietLook);
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
    QSerialPort *serial =
        ExclusiveOpen::open(devicePath(), kBaudRate, kInputBufferSize, *m_driver, m_error, this);
    if (!serial)
        return false;

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

    m_countersKnown = m_driver->counters(int(serial->handle()), m_counters);
    return true;
}

void SerialCommPort::close()
{
    forgetOpening();
    m_open = false;
    m_lost = false;
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

bool SerialCommPort::lookForQuiet()
{
    // Only a look that sees the driver holding nothing unread counts: bytes
    // waiting there have arrived, and their read is on its way. A device
    // that fails the question may have gone, taking such bytes with it; one
    // that does not know it (not a tty ioctl it keeps) is taken at its word.
    if (!m_serial || m_lost)
        return false;
    const LineDriver::Count waiting = m_driver->inputQueue(int(m_serial->handle()));
    if (waiting.state == LineDriver::Count::State::Failed ||
        (waiting.state == LineDriver::Count::State::Known && waiting.value > 0))
        return false;
    m_quietSeen = now();
    return true;
}

void SerialCommPort::onQuietLook()
{
    const qint64 since = now() - m_lastArrival;
    const qint64 check = std::chrono::nanoseconds(kQuietCheck).count();
    if (since < check) {
        m_quietLook.start(std::chrono::milliseconds((check - since + 999999) / 1000000));
        return;
    }
    if (lookForQuiet() && m_rThreshold > 0)
        raise(comEvQuiet);
}

int SerialCommPort::driverOutQueue() const
{
    if (!m_serial || !m_serial->isOpen())
        return 0;
    const LineDriver::Count queued = m_driver->outputQueue(int(m_serial->handle()));
    return queued.state == LineDriver::Count::State::Known ? queued.value : 0;
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
    withdraw(comEvSend);
    qsizetype done = 0;
    // With nothing queued in Qt the bytes go to the driver at once, and an
    // empty transmit side is noticed at once: its notification is queued,
    // not emitted, and a turn of the event loop that is handing over
    // notifications hands it over next. What the driver does not take (its
    // queue is full, or it fails) goes through Qt, which reports a failing
    // device as before.
    if (m_serial->bytesToWrite() == 0)
        done = std::max<qint64>(
            0, m_driver->writeNow(int(m_serial->handle()), data.constData(), data.size()));
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
    // Not restarted for every read: when it runs out it waits for whatever
    // is left of kQuietCheck after the last one.
    if (!m_quietLook.isActive())
        m_quietLook.start(kQuietCheck);
    checkLineCounters();
    if (!receiveDue())
        return;
    // Handed over from here, without a further turn of the event loop.
    deliverSoon();
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
    if (!m_countersKnown || !m_serial || !m_serial->isOpen())
        return;
    LineDriver::Counters now;
    if (!m_driver->counters(int(m_serial->handle()), now))
        return;
    const LineDriver::Counters before = std::exchange(m_counters, now);
    if (now.brk != before.brk)
        raise(comEventBreak);
    if (now.frame != before.frame)
        raise(comEventFrame);
    if (now.overrun != before.overrun)
        raise(comEventOverrun);
    if (now.bufOverrun != before.bufOverrun)
        raise(comEventRxOver);
    if (now.parity != before.parity)
        raise(comEventRxParity);
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
    // What the descriptor still gives, until it reports the end, arrived
    // after the port's last look: the line was not quiet.
    if (serial->isOpen()) {
        char buffer[4096];
        qint64 n = 0;
        const qsizetype before = m_stash.size();
        while (m_stash.size() < kInputBufferSize &&
               (n = m_driver->readNow(int(serial->handle()), buffer, sizeof buffer)) > 0)
            m_stash.append(buffer, n);
        if (m_stash.size() > before)
            m_lastArrival = now();
    }
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
    raiseLoss();
}

bool SerialCommPort::receiveDue() const
{
    return m_open && m_rThreshold > 0 && InBufferCount() >= m_rThreshold;
}
