#pragma once

#include "QueuedComm.h"

#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

class QTcpSocket;

// A serial line reached through a serial device server on the network:
// tcp://HOST:PORT carries the line's bytes as they are, rfc2217://HOST:PORT a
// Telnet connection that also carries the line's settings, errors and purges.
struct LineAddress
{
    enum class Kind
    {
        Raw,
        Rfc2217
    };
    Kind kind = Kind::Raw;
    QString host;
    quint16 port = 0;

    // Whether text is meant as one (it starts with tcp:// or rfc2217://).
    static bool isNetwork(const QString &text);
    // The address text gives; nothing, with the reason in problem, when it
    // is not one or is incomplete.
    static std::optional<LineAddress> parse(const QString &text, QString *problem = nullptr);
    QString server() const; // host:port, as messages name it
};

// Telnet's framing of the bytes on a connection (RFC 854, 855), without the
// socket: what the server sends is split into the line's data and the
// option negotiation; what goes to it is escaped.
class TelnetCodec
{
  public:
    enum : quint8
    {
        SE = 240,
        SB = 250,
        WILL = 251,
        WONT = 252,
        DO = 253,
        DONT = 254,
        IAC = 255
    };
    struct Command
    {
        quint8 verb = 0;       // WILL, WONT, DO, DONT, or SB with its payload
        quint8 option = 0;
        QByteArray payload;    // for SB: what follows the option, unescaped
    };

    // The line's data among bytes; commands are appended to commands. A
    // command cut between two calls is completed by the next.
    QByteArray feed(const QByteArray &bytes, std::vector<Command> &commands);
    // data with every IAC doubled, as Telnet carries it.
    static QByteArray escape(const QByteArray &data);
    static QByteArray negotiation(quint8 verb, quint8 option);
    static QByteArray subnegotiation(quint8 option, const QByteArray &payload);

  private:
    enum class State
    {
        Data,
        Iac,
        Verb,
        SubOption,
        Sub,
        SubIac
    } m_state = State::Data;
    Command m_command;
};

// The port on a network line. Opening returns at once; the connection (and
// over RFC 2217 the line's settings) follows within kConnectLimit, and a line
// that cannot be reached is reported then, as the loss of the line
// (comEventPortLost) with lastError() of kind Unreachable. Output waits until
// the line is ready.
//
// There is no transmit-empty from a socket: the line's own rate (19200 baud,
// 8N1) is the clock. Bytes are handed to the server while no more than two
// chunks are still on their way through it (one leaving its line, one
// waiting), and the send notification comes once Output's bytes have all
// been handed over with room for the next chunk. OutBufferCount is what has
// not yet left the server's line by that clock (more while the kernel holds
// bytes the server has not acknowledged, or the server reports its
// transmitter busy).
class NetworkLine : public QueuedComm
{
    Q_OBJECT
  public:
    using AddressResolver = std::function<QString(int port)>;

    static constexpr std::chrono::milliseconds kConnectLimit{5000};
    // Over a raw connection a server that turns a client away says so in
    // words and closes within this time; bytes are taken as the line's after it.
    static constexpr std::chrono::milliseconds kRawSettle{300};
    static constexpr int kBaudRate = 19200;
    static constexpr qint64 kByteNs = 10LL * 1000000000LL / kBaudRate; // 8N1: ten bits
    static constexpr int kChunk = 1024;
    static constexpr int kInputBufferSize = 64 * 1024;

    explicit NetworkLine(AddressResolver resolve, QObject *parent = nullptr);
    ~NetworkLine() override;

    void setCommPort(int port) override { m_commPort = port; }
    int CommPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    bool PortOpen() const override { return m_open; }
    int InBufferCount() const override { return int(m_input.size()); }
    void setInBufferCount(int count) override;
    int OutBufferCount() const override;
    void setOutBufferCount(int count) override;
    void setRThreshold(int threshold) override;
    int RThreshold() const override { return m_rThreshold; }
    void setSThreshold(int threshold) override { m_sThreshold = std::max(0, threshold); }
    int SThreshold() const override { return m_sThreshold; }
    void setInputLen(int length) override { m_inputLen = std::max(0, length); }
    int InputLen() const override { return m_inputLen; }
    QByteArray Input() override;
    bool Output(const QByteArray &data) override;
    std::chrono::milliseconds QuietTime() override;
    CommError lastError() const override { return m_error; }

    // The address the current CommPort resolves to.
    QString address() const;
    // Whether the connection is made and the line set (bytes flow).
    bool lineReady() const { return m_ready; }

  private:
    bool open();
    void close();
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void onSocketError();
    void onConnectLimit();
    void handle(const TelnetCodec::Command &command);
    void answerOption(quint8 verb, quint8 option);
    void setLine();
    void comPortAnswer(quint8 code, const QByteArray &value);
    void becomeReady();
    void takeArrived(const QByteArray &data);
    void pump();
    void send(const QByteArray &bytes);
    qint64 lineBacklogBytes() const;
    int kernelUnacknowledged() const;
    bool lookForQuiet();
    void onQuietLook();
    void fail(CommError::Kind kind, const QString &reason);
    bool receiveDue() const override;
    qint64 now() const { return m_clock.nsecsElapsed(); }

    AddressResolver m_resolve;
    int m_commPort = 1;
    LineAddress m_line;
    QTcpSocket *m_socket = nullptr; // one per opening
    TelnetCodec m_codec;
    bool m_open = false;
    bool m_connected = false;
    bool m_ready = false;
    bool m_lost = false;
    bool m_comPortAgreed = false;
    int m_answersWanted = 0; // the line's settings the server has not confirmed
    QByteArray m_refusalWords; // what a server said before it closed

    QByteArray m_input;
    QByteArray m_output; // not yet handed to the server
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    int m_inputLen = 0;
    bool m_outputPending = false;
    bool m_abortOnClose = false; // output was thrown away: close at once
    bool m_transmitterBusy = false; // the server says its line is still sending
    bool m_reportsTransmitter = false;

    QElapsedTimer m_clock;
    qint64 m_lineFreeAt = 0; // when the server's line will have sent all it was given
    qint64 m_lastArrival = 0;
    qint64 m_quietSeen = 0;
    QTimer m_paceTimer{this};
    QTimer m_quietLook{this};
    QTimer m_connectLimit{this};

    CommError m_error;
};
