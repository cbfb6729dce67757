#pragma once

#include "DeviceNode.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <utility>

// Notification codes raised through SerialComm::OnComm.
namespace CommEvents {
constexpr int comEvSend = 1;    // transmit side has become empty (SThreshold 1)
constexpr int comEvReceive = 2; // at least RThreshold bytes wait
// Not one of the classic codes (which end at 7): while a receive listens
// (RThreshold above 0), the line has paused: nothing came for kQuietCheck
// after the last byte, and the driver holds nothing unread. Raised once a
// pause.
constexpr int comEvQuiet = 9;
constexpr int comEventBreak = 1001;
constexpr int comEventFrame = 1004;
constexpr int comEventOverrun = 1006;
constexpr int comEventRxOver = 1008;
constexpr int comEventRxParity = 1009;
constexpr int comEventTxFull = 1010;
constexpr int comEventDCB = 1011;
// Not one of the classic codes: the device went away under an open port (USB
// adapter pulled, the far end of a pseudo-terminal closed, an I/O error).
constexpr int comEventPortLost = 1012;
} // namespace CommEvents

// Why opening or writing to the port failed; carried to the caller's message.
struct CommError
{
    enum class Kind
    {
        None,
        NotFound,
        Busy, // another program holds the device
        PermissionDenied,
        NoHardware, // the device node exists but no port answers behind it
        NotSerial,  // not a terminal at all: a file, a pipe, /dev/null
        NotOpen,
        Io,
        Unreachable, // a network line whose server could not be reached or set
        Other
    };
    CommError() = default;
    CommError(Kind kind, QString device, QString reason, DeviceNode::Access access = {})
        : kind(kind), device(std::move(device)), reason(std::move(reason)),
          access(std::move(access))
    {
    }

    Kind kind = Kind::None;
    QString device;            // the device path the port number resolved to
    QString reason;            // the operating system's words
    DeviceNode::Access access; // for PermissionDenied: what would let this account in
    bool network = false;      // the line is reached through a server on the network
};

// The buffered serial port the transfer engine talks to, modelled on the
// classic property/notification component:
//  - properties are set and read at any time; thresholds and buffer counts set
//    on a closed port are accepted and do nothing harmful;
//  - OnComm is emitted on the owning thread from the event loop, one
//    notification at a time, never from inside a setter or Output();
//  - CommEvent() tells which notification is being delivered;
//  - once PortOpen is set false no notification of that opening is delivered,
//    even one raised before the close.
class SerialComm : public QObject
{
    Q_OBJECT
  public:
    using QObject::QObject;
    ~SerialComm() override = default;

    // 1 for COM1, 2 for COM2. Set while closed.
    virtual void setCommPort(int port) = 0;
    virtual int CommPort() const = 0;

    // Opening may fail (missing, busy, forbidden device, no hardware); the
    // result says so and lastError() tells why. A port is opened exclusively:
    // one held by another program is refused, naming it where it can be
    // known. Closing always succeeds and leaves output that has not left yet
    // to the driver; set OutBufferCount 0 first to drop it.
    virtual bool setPortOpen(bool open) = 0;
    virtual bool PortOpen() const = 0;

    // Bytes waiting to be read; setting 0 drops them.
    virtual int InBufferCount() const = 0;
    virtual void setInBufferCount(int count) = 0;
    // Bytes not yet sent; setting 0 drops them.
    virtual int OutBufferCount() const = 0;
    virtual void setOutBufferCount(int count) = 0;

    // 0: no receive notification; n: notify while at least n bytes wait.
    virtual void setRThreshold(int threshold) = 0;
    virtual int RThreshold() const = 0;
    // 0: no send notification; 1: notify once each time the transmit side has
    // become empty after an Output.
    virtual void setSThreshold(int threshold) = 0;
    virtual int SThreshold() const = 0;

    // Number of bytes the next Input takes; 0 takes everything waiting.
    virtual void setInputLen(int length) = 0;
    virtual int InputLen() const = 0;
    // Takes up to InputLen waiting bytes; the rest stay waiting.
    virtual QByteArray Input() = 0;
    // The same, in the words of what they do: a count set to 0 discards,
    // and a read takes the next count bytes (fewer where fewer wait).
    void discardInput() { setInBufferCount(0); }
    void discardOutput() { setOutBufferCount(0); }
    QByteArray read(int count)
    {
        setInputLen(count);
        return Input();
    }
    // Queues all of data, in order, and returns at once. False when the port
    // is not open or the device refused it; lastError() tells why.
    virtual bool Output(const QByteArray &data) = 0;

    // How long the line is known to have been quiet: from the last byte that
    // arrived to the port's latest look at the device that found nothing
    // more. Asking looks, so while the device is there it is the time since
    // the last byte. A port also looks by itself kQuietCheck after bytes stop
    // coming, and tells a listening receive of the pause (comEvQuiet). Once
    // the device has gone away nothing can be looked at any more: it is then
    // the quiet seen before the loss, zero when the device went while bytes
    // were coming (they may have gone with it).
    virtual std::chrono::milliseconds QuietTime() = 0;
    static constexpr std::chrono::milliseconds kQuietCheck{100};

    // The code of the notification being delivered.
    virtual int CommEvent() const = 0;

    virtual CommError lastError() const = 0;

  signals:
    void OnComm();
};
