#include "NetworkLine.h"

#include <QTcpSocket>
#include <QUrl>

#include <algorithm>

#include <initializer_list>

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

using namespace CommEvents;

namespace {
// Telnet options (RFC 856, 858, 2217).
constexpr quint8 kBinary = 0;
constexpr quint8 kSuppressGoAhead = 3;
constexpr quint8 kComPort = 44;

// RFC 2217's commands, client to server; the server answers with 100 more.
constexpr quint8 kSetBaudRate = 1;
constexpr quint8 kSetDataSize = 2;
constexpr quint8 kSetParity = 3;
constexpr quint8 kSetStopSize = 4;
constexpr quint8 kSetControl = 5;
constexpr quint8 kNotifyLineState = 6;
constexpr quint8 kSetLineStateMask = 10;
constexpr quint8 kPurgeData = 12;
constexpr quint8 kAnswer = 100;

constexpr quint8 kParityNone = 1;
constexpr quint8 kStopBitsOne = 1;
constexpr quint8 kNoFlowControl = 1;
constexpr quint8 kDtrOn = 8;
constexpr quint8 kRtsOn = 11;
constexpr quint8 kPurgeReceive = 1;
constexpr quint8 kPurgeTransmit = 2;

// Line-state bits.
constexpr quint8 kOverrun = 0x02;
constexpr quint8 kParityError = 0x04;
constexpr quint8 kFramingError = 0x08;
constexpr quint8 kBreak = 0x10;
constexpr quint8 kShiftRegisterEmpty = 0x40;

// A dead network is noticed within about eleven seconds of silence, and
// bytes the server never acknowledges give up after ten.
constexpr int kKeepIdleS = 5, kKeepIntervalS = 2, kKeepProbes = 3;
constexpr unsigned kUserTimeoutMs = 10000;

QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray out;
    for (const quint8 byte : list)
        out += char(byte);
    return out;
}

QByteArray bigEndian(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out += char((value >> (8 * i)) & 0xff);
    return out;
}
} // namespace

bool LineAddress::isNetwork(const QString &text)
{
    return text.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive);
}

std::optional<LineAddress> LineAddress::parse(const QString &text, QString *problem)
{
    // Why it is not one, worded only when asked.
    enum class Why
    {
        NotNetwork,
        NoHost,
        NoPort,
        More
    };
    const auto refuse = [problem](Why why) -> std::optional<LineAddress> {
        if (!problem)
            return std::nullopt;
        switch (why) {
        case Why::NotNetwork:
            *problem = QObject::tr("not a network address (tcp://HOST:PORT or "
                                   "rfc2217://HOST:PORT)");
            break;
        case Why::NoHost:
            *problem = QObject::tr("no server name in the address");
            break;
        case Why::NoPort:
            *problem = QObject::tr("no TCP port number in the address (HOST:PORT)");
            break;
        case Why::More:
            *problem = QObject::tr("the address has more than HOST:PORT");
            break;
        }
        return std::nullopt;
    };
    if (!isNetwork(text))
        return refuse(Why::NotNetwork);
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return refuse(Why::NoHost);
    if (url.port() <= 0)
        return refuse(Why::NoPort);
    if (!url.path().isEmpty() && url.path() != QLatin1String("/"))
        return refuse(Why::More);
    LineAddress address;
    address.kind = url.scheme().compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0
                       ? Kind::Raw
                       : Kind::Rfc2217;
    address.host = url.host();
    address.port = quint16(url.port());
    return address;
}

QString LineAddress::server() const
{
    const QString name = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(name).arg(port);
}

QByteArray TelnetCodec::feed(const QByteArray &bytes, std::vector<Command> &commands)
{
    QByteArray data;
    data.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = quint8(c);
        switch (m_state) {
        case State::Data:
            if (byte == IAC)
                m_state = State::Iac;
            else
                data += c;
            break;
        case State::Iac:
            if (byte == IAC) {
                data += c; // an escaped 255
                m_state = State::Data;
            } else if (byte >= WILL) {
                m_command = {byte, 0, {}};
                m_state = State::Verb;
            } else if (byte == SB) {
                m_command = {SB, 0, {}};
                m_state = State::SubOption;
            } else {
                m_state = State::Data; // NOP, GA and the like carry nothing here
            }
            break;
        case State::Verb:
            m_command.option = byte;
            commands.push_back(m_command);
            m_state = State::Data;
            break;
        case State::SubOption:
            m_command.option = byte;
            m_state = State::Sub;
            break;
        case State::Sub:
            if (byte == IAC)
                m_state = State::SubIac;
            else
                m_command.payload += c;
            break;
        case State::SubIac:
            if (byte == SE) {
                commands.push_back(m_command);
                m_state = State::Data;
            } else {
                m_command.payload += c; // IAC IAC: a 255 in the payload
                m_state = State::Sub;
            }
            break;
        }
    }
    return data;
}

QByteArray TelnetCodec::escape(const QByteArray &data)
{
    if (!data.contains(char(IAC)))
        return data;
    QByteArray out;
    out.reserve(data.size() + 16);
    for (const char c : data) {
        out += c;
        if (quint8(c) == IAC)
            out += c;
    }
    return out;
}

QByteArray TelnetCodec::negotiation(quint8 verb, quint8 option)
{
    return bytes({IAC, verb, option});
}

QByteArray TelnetCodec::subnegotiation(quint8 option, const QByteArray &payload)
{
    return bytes({IAC, SB, option}) + escape(payload) + bytes({IAC, SE});
}

NetworkLine::NetworkLine(AddressResolver resolve, QObject *parent)
    : QueuedComm(parent), m_resolve(std::move(resolve))
{
    m_paceTimer.setSingleShot(true);
    m_paceTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_paceTimer, &QTimer::timeout, this, &NetworkLine::pump);
    m_quietLook.setSingleShot(true);
    m_quietLook.setTimerType(Qt::PreciseTimer);
    m_quietLook.setInterval(kQuietCheck);
    connect(&m_quietLook, &QTimer::timeout, this, &NetworkLine::onQuietLook);
    m_connectLimit.setSingleShot(true);
    connect(&m_connectLimit, &QTimer::timeout, this, &NetworkLine::onConnectLimit);
    m_clock.start();
}

NetworkLine::~NetworkLine()
{
    close();
}

QString NetworkLine::address() const
{
    return m_resolve ? m_resolve(m_commPort) : QString();
}

bool NetworkLine::setPortOpen(bool open)
{
    if (open == m_open)
        return true;
    if (open)
        return this->open();
    close();
    return true;
}

bool NetworkLine::open()
{
    QString problem;
    const std::optional<LineAddress> line = LineAddress::parse(address(), &problem);
    if (!line) {
        m_error = {CommError::Kind::NotFound, address(), problem};
        m_error.network = true;
        return false;
    }
    m_line = *line;
    m_codec = {};
    m_open = true;
    m_connected = m_ready = m_lost = m_comPortAgreed = false;
    m_answersWanted = 0;
    m_refusalWords.clear();
    m_input.clear();
    m_output.clear();
    m_outputPending = m_abortOnClose = m_transmitterBusy = m_reportsTransmitter = false;
    m_lineFreeAt = m_lastArrival = m_quietSeen = now();
    m_error = {};

    m_socket = new QTcpSocket(this);
    m_socket->setReadBufferSize(kInputBufferSize);
    connect(m_socket, &QTcpSocket::connected, this, &NetworkLine::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetworkLine::onReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
    connect(m_socket, &QTcpSocket::disconnected, this, &NetworkLine::onDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetworkLine::onSocketError);
    m_connectLimit.start(kConnectLimit); // a raw opening shortened it to settle
    m_socket->connectToHost(m_line.host, m_line.port);
    return true;
}

void NetworkLine::close()
{
    forgetOpening();
    m_open = m_connected = m_ready = m_lost = false;
    m_paceTimer.stop();
    m_quietLook.stop();
    m_connectLimit.stop();
    m_outputPending = false;
    m_input.clear();
    if (!m_socket)
        return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    disconnect(socket, nullptr, this, nullptr);
    // Output not yet handed over goes to the server, which sends it on, as a
    // driver does; output thrown away before goes with the connection.
    if (!m_output.isEmpty() && !m_abortOnClose && socket->state() == QAbstractSocket::ConnectedState)
        socket->write(m_line.kind == LineAddress::Kind::Rfc2217 ? TelnetCodec::escape(m_output)
                                                                : m_output);
    m_output.clear();
    if (m_abortOnClose || socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

void NetworkLine::onConnected()
{
    m_connected = true;
    const int fd = int(m_socket->socketDescriptor());
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUserTimeoutMs, sizeof kUserTimeoutMs);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (m_line.kind == LineAddress::Kind::Raw) {
        m_connectLimit.start(kRawSettle);
        return;
    }
    // Ours first; the server's own offers are answered as they come.
    using T = TelnetCodec;
    m_socket->write(T::negotiation(T::WILL, kComPort) + T::negotiation(T::WILL, kBinary) +
                    T::negotiation(T::DO, kBinary) + T::negotiation(T::WILL, kSuppressGoAhead) +
                    T::negotiation(T::DO, kSuppressGoAhead));
}

void NetworkLine::onConnectLimit()
{
    if (m_connected && m_line.kind == LineAddress::Kind::Raw) {
        becomeReady(); // the server has kept the connection: the bytes are the line's
        return;
    }
    if (!m_connected)
        fail(CommError::Kind::Unreachable,
             tr("no answer within %1 seconds").arg(kConnectLimit.count() / 1000));
    else if (!m_comPortAgreed)
        fail(CommError::Kind::Unreachable,
             tr("it does not answer as an RFC 2217 server (for a raw TCP port give "
                "tcp://%1)")
                 .arg(m_line.server()));
    else
        fail(CommError::Kind::Unreachable,
             tr("it did not confirm the line's settings (19200 baud, 8 data bits, no parity, "
                "1 stop bit, no flow control)"));
}

void NetworkLine::handle(const TelnetCodec::Command &command)
{
    if (command.verb != TelnetCodec::SB) {
        answerOption(command.verb, command.option);
        return;
    }
    if (command.option != kComPort || command.payload.isEmpty())
        return;
    comPortAnswer(quint8(command.payload[0]), command.payload.mid(1));
}

void NetworkLine::answerOption(quint8 verb, quint8 option)
{
    using T = TelnetCodec;
    const bool wanted = option == kBinary || option == kSuppressGoAhead || option == kComPort;
    switch (verb) {
    case T::DO:
        if (option == kComPort) {
            if (!m_comPortAgreed) {
                m_comPortAgreed = true;
                setLine();
            }
            return;
        }
        if (!wanted)
            m_socket->write(T::negotiation(T::WONT, option));
        return;
    case T::DONT:
        if (option == kComPort)
            fail(CommError::Kind::Unreachable,
                 tr("it refuses RFC 2217 (for a raw TCP port give tcp://%1)").arg(m_line.server()));
        return;
    case T::WILL:
        if (!wanted)
            m_socket->write(T::negotiation(T::DONT, option));
        return;
    default: // WONT: nothing to take back
        return;
    }
}

void NetworkLine::setLine()
{
    using T = TelnetCodec;
    const auto command = [](quint8 code, const QByteArray &value) {
        return T::subnegotiation(kComPort, QByteArray(1, char(code)) + value);
    };
    // Modem lines are asked for but not waited on: a server in front of a
    // pseudo-terminal never answers them.
    m_socket->write(command(kSetBaudRate, bigEndian(kBaudRate, 4)) +
                    command(kSetDataSize, bigEndian(8, 1)) +
                    command(kSetParity, bigEndian(kParityNone, 1)) +
                    command(kSetStopSize, bigEndian(kStopBitsOne, 1)) +
                    command(kSetControl, bigEndian(kNoFlowControl, 1)) +
                    command(kSetLineStateMask,
                            bigEndian(kOverrun | kParityError | kFramingError | kBreak |
                                          kShiftRegisterEmpty,
                                      1)) +
                    command(kSetControl, bigEndian(kDtrOn, 1)) +
                    command(kSetControl, bigEndian(kRtsOn, 1)));
    m_answersWanted = 5;
}

void NetworkLine::comPortAnswer(quint8 code, const QByteArray &value)
{
    if (code == kAnswer + kNotifyLineState && !value.isEmpty()) {
        const auto state = quint8(value[0]);
        if (state & kBreak)
            raise(comEventBreak);
        if (state & kFramingError)
            raise(comEventFrame);
        if (state & kOverrun)
            raise(comEventOverrun);
        if (state & kParityError)
            raise(comEventRxParity);
        // Only a server seen to report its transmitter empty is believed
        // when it reports it busy (one in front of a pseudo-terminal says
        // neither, and answers 0).
        if (state & kShiftRegisterEmpty)
            m_reportsTransmitter = true;
        m_transmitterBusy = m_reportsTransmitter && !(state & kShiftRegisterEmpty);
        return;
    }
    if (m_ready || value.isEmpty())
        return;
    // The settings as the server confirms them: any other value is refused.
    quint32 got = 0;
    for (const char byte : value)
        got = (got << 8) | quint8(byte);
    QString refused;
    switch (code - kAnswer) {
    case kSetBaudRate:
        if (got != quint32(kBaudRate))
            refused = tr("it set %1 baud instead of 19200").arg(got);
        break;
    case kSetDataSize:
        if (got != 8)
            refused = tr("it set %1 data bits instead of 8").arg(got);
        break;
    case kSetParity:
        if (got != kParityNone)
            refused = tr("it did not set the line to no parity");
        break;
    case kSetStopSize:
        if (got != kStopBitsOne)
            refused = tr("it did not set the line to 1 stop bit");
        break;
    case kSetControl:
        if (got == 2 || got == 3) {
            refused = tr("it keeps flow control on the line");
            break;
        }
        if (got != kNoFlowControl)
            return; // an answer about the modem lines
        break;
    default:
        return;
    }
    if (!refused.isEmpty()) {
        fail(CommError::Kind::Unreachable, refused);
        return;
    }
    if (--m_answersWanted == 0)
        becomeReady();
}

void NetworkLine::becomeReady()
{
    m_connectLimit.stop();
    m_ready = true;
    m_lineFreeAt = std::max(m_lineFreeAt, now());
    if (!m_input.isEmpty())
        takeArrived({}); // held while the connection settled
    pump();
}

void NetworkLine::onReadyRead()
{
    if (!m_socket)
        return;
    const QByteArray bytes = m_socket->read(std::max<qsizetype>(0, kInputBufferSize - m_input.size()));
    if (bytes.isEmpty())
        return;
    if (m_line.kind == LineAddress::Kind::Raw) {
        takeArrived(bytes);
        return;
    }
    std::vector<TelnetCodec::Command> commands;
    const QByteArray data = m_codec.feed(bytes, commands);
    for (const TelnetCodec::Command &command : commands) {
        handle(command);
        if (!m_socket)
            return; // refused
    }
    takeArrived(data);
}

void NetworkLine::takeArrived(const QByteArray &data)
{
    if (!data.isEmpty()) {
        m_input += data;
        m_lastArrival = now();
        // Not restarted for every read: see onQuietLook.
        if (!m_quietLook.isActive())
            m_quietLook.start(kQuietCheck);
    }
    // Before the line is ready what comes is the server's, not the desk's: a
    // server turning a client away says so and closes.
    if (!m_ready) {
        if (m_refusalWords.size() < 200)
            m_refusalWords += data;
        return;
    }
    if (receiveDue())
        deliverSoon();
    if (m_socket && m_socket->bytesAvailable() > 0 && m_input.size() < kInputBufferSize)
        QMetaObject::invokeMethod(this, &NetworkLine::onReadyRead, Qt::QueuedConnection);
}

void NetworkLine::onDisconnected()
{
    if (!m_ready) {
        const QString words = QString::fromUtf8(m_refusalWords).trimmed();
        fail(CommError::Kind::Unreachable,
             words.isEmpty()
                 ? tr("it closed the connection at once (it may let only one client in at a "
                      "time)")
                 : tr("it turned the connection away: \"%1\"").arg(words.left(80)));
        return;
    }
    fail(CommError::Kind::Io, tr("the server closed the connection"));
}

void NetworkLine::onSocketError()
{
    if (!m_socket)
        return;
    switch (m_socket->error()) {
    case QAbstractSocket::RemoteHostClosedError:
        return; // told by disconnected, once what it sent has been read
    case QAbstractSocket::HostNotFoundError:
        fail(CommError::Kind::Unreachable, tr("the name %1 was not found").arg(m_line.host));
        return;
    case QAbstractSocket::ConnectionRefusedError:
        fail(CommError::Kind::Unreachable,
             tr("the connection was refused (no serial server listens on port %1)")
                 .arg(m_line.port));
        return;
    default:
        fail(m_ready ? CommError::Kind::Io : CommError::Kind::Unreachable,
             m_socket->errorString());
        return;
    }
}

void NetworkLine::fail(CommError::Kind kind, const QString &reason)
{
    if (m_lost || !m_open || !m_socket)
        return;
    m_lost = true;
    m_error = {kind, address(), reason};
    m_error.network = true;
    // What had arrived stays to be offered; the connection goes.
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    disconnect(socket, nullptr, this, nullptr);
    if (m_ready && m_line.kind == LineAddress::Kind::Raw)
        takeArrived(socket->readAll());
    else if (m_ready) {
        std::vector<TelnetCodec::Command> ignored;
        takeArrived(m_codec.feed(socket->readAll(), ignored));
    }
    if (!m_ready)
        m_input.clear(); // the server's words, not the line's
    socket->abort();
    socket->deleteLater();
    m_paceTimer.stop();
    m_quietLook.stop(); // what was seen before the loss is what counts
    m_connectLimit.stop();
    raiseLoss();
}

void NetworkLine::setInBufferCount(int count)
{
    if (count != 0)
        return;
    m_input.clear();
    if (m_socket && m_ready) {
        m_socket->read(m_socket->bytesAvailable());
        if (m_line.kind == LineAddress::Kind::Rfc2217)
            m_socket->write(TelnetCodec::subnegotiation(
                kComPort, bytes({kPurgeData, kPurgeReceive})));
    }
}

void NetworkLine::setOutBufferCount(int count)
{
    if (count != 0)
        return;
    // Thrown away: over RFC 2217 the server drops what it holds; a raw
    // connection is closed at once instead of being let drain.
    m_abortOnClose = m_abortOnClose || OutBufferCount() > 0;
    m_output.clear();
    m_outputPending = false;
    m_transmitterBusy = false;
    m_paceTimer.stop();
    if (m_socket && m_ready && m_line.kind == LineAddress::Kind::Rfc2217)
        m_socket->write(TelnetCodec::subnegotiation(
            kComPort, bytes({kPurgeData, kPurgeTransmit})));
    m_lineFreeAt = std::min(m_lineFreeAt, now());
}

qint64 NetworkLine::lineBacklogBytes() const
{
    const qint64 left = m_lineFreeAt - now();
    return left <= 0 ? 0 : (left + kByteNs - 1) / kByteNs;
}

int NetworkLine::kernelUnacknowledged() const
{
    int queued = 0;
    if (!m_socket || ::ioctl(int(m_socket->socketDescriptor()), SIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
}

int NetworkLine::OutBufferCount() const
{
    qint64 held = m_output.size();
    if (m_socket)
        held += m_socket->bytesToWrite();
    qint64 onTheWay = std::max<qint64>(lineBacklogBytes(), kernelUnacknowledged());
    if (onTheWay == 0 && m_transmitterBusy)
        onTheWay = 1;
    return int(std::min<qint64>(held + onTheWay, INT_MAX));
}

void NetworkLine::setRThreshold(int threshold)
{
    m_rThreshold = std::max(0, threshold);
    if (receiveDue())
        scheduleDelivery();
}

QByteArray NetworkLine::Input()
{
    const int take = m_inputLen == 0 ? int(m_input.size()) : std::min<int>(m_inputLen, m_input.size());
    QByteArray taken = m_input.left(take);
    m_input.remove(0, take);
    if (m_socket && m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &NetworkLine::onReadyRead, Qt::QueuedConnection);
    return taken;
}

bool NetworkLine::Output(const QByteArray &data)
{
    if (!m_open || m_lost) {
        m_error = {CommError::Kind::NotOpen, address(),
                   m_lost ? tr("the connection to the server is gone") : tr("the port is not open")};
        m_error.network = true;
        return false;
    }
    if (data.isEmpty())
        return true;
    withdraw(comEvSend);
    m_output += data;
    m_outputPending = true;
    m_abortOnClose = false;
    pump();
    return true;
}

void NetworkLine::send(const QByteArray &bytes)
{
    m_socket->write(m_line.kind == LineAddress::Kind::Rfc2217 ? TelnetCodec::escape(bytes) : bytes);
    // The server's line sends them after what it already has.
    m_lineFreeAt = std::max(m_lineFreeAt, now()) + qint64(bytes.size()) * kByteNs;
}

void NetworkLine::pump()
{
    if (!m_ready || !m_socket || !m_outputPending)
        return;
    const qint64 roomFor = 2LL * kChunk - lineBacklogBytes();
    if (!m_output.isEmpty() && roomFor > 0) {
        const qsizetype n = std::min<qsizetype>(m_output.size(), roomFor);
        send(m_output.left(n));
        m_output.remove(0, n);
    }
    // Looked at again when the line will have room for the next chunk, or
    // when Qt has handed its buffer to the kernel.
    const qint64 backlog = lineBacklogBytes();
    if (m_socket->bytesToWrite() > 0)
        return;
    if (!m_output.isEmpty() || backlog > kChunk) {
        const qint64 waitNs = std::max<qint64>(backlog - kChunk, 1) * kByteNs;
        m_paceTimer.start(int(std::max<qint64>(1, waitNs / 1000000)));
        return;
    }
    m_outputPending = false;
    if (m_sThreshold > 0)
        raise(comEvSend);
}

bool NetworkLine::receiveDue() const
{
    return m_open && m_ready && m_rThreshold > 0 && m_input.size() >= m_rThreshold;
}

std::chrono::milliseconds NetworkLine::QuietTime()
{
    lookForQuiet();
    return std::chrono::milliseconds(std::max<qint64>(0, m_quietSeen - m_lastArrival) / 1000000);
}

bool NetworkLine::lookForQuiet()
{
    // Only a look that finds nothing unread counts, neither with Qt nor in
    // the kernel: bytes there have arrived.
    if (!m_socket || m_lost)
        return false;
    int waiting = 0;
    if (m_socket->bytesAvailable() > 0 ||
        ::ioctl(int(m_socket->socketDescriptor()), FIONREAD, &waiting) != 0 || waiting > 0)
        return false;
    m_quietSeen = now();
    return true;
}

void NetworkLine::onQuietLook()
{
    // The look comes kQuietCheck after the last read; reads since the timer
    // was started move it on by what is left.
    const qint64 since = now() - m_lastArrival;
    const qint64 check = std::chrono::nanoseconds(kQuietCheck).count();
    if (since < check) {
        m_quietLook.start(std::chrono::milliseconds((check - since + 999999) / 1000000));
        return;
    }
    if (lookForQuiet() && m_rThreshold > 0 && m_ready)
        raise(comEvQuiet);
}
