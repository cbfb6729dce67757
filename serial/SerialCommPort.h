#pragma once

#include "LineDriver.h"
#include "QueuedComm.h"

#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <memory>

class QSerialPort;

// The port on a real serial device through QSerialPort: 19200 baud, 8N1, no
// flow control, opened exclusively (a live legacy lock file, another process
// with the device open, Qt's lock file and TIOCEXCL, and flock). Port numbers
// become device paths through the resolver the owner hands in (COM1 ->
// /dev/ttyS0 unless configured); the device is opened, and its lock file
// named, under the path the links resolve to (LCK..ttyUSB0, LCK..pts_3).
//
// How the notifications come about:
//  - receive (2): checked whenever bytes are read, the threshold changes or a
//    handler returns, so a burst of several blocks drains block by block;
//    bytes that arrive are handed over from the read itself;
//  - send (1): when Qt's write buffer is empty and the driver's output queue
//    (TIOCOUTQ) reads 0. Output writes straight to the driver when Qt holds
//    nothing and looks at once, so one turn of the event loop can hand over
//    chunk after chunk while the driver takes them. If the driver still
//    holds bytes, a single-shot timer sleeps for roughly the time the line
//    needs for them and then polls every couple of milliseconds; nothing runs
//    while no output is pending;
//  - line errors: the driver's error counters (TIOCGICOUNT) are compared after
//    every read and write where the driver keeps them;
//  - a vanished device is reported once as comEventPortLost, after the bytes
//    that had already arrived have been offered, and the device is let go.
//
// Quiet: every read that brings bytes marks the time; kQuietCheck later a
// single-shot timer looks whether the driver holds anything unread (TIOCINQ)
// and, when it holds nothing while a receive listens, raises comEvQuiet.
class SerialCommPort : public QueuedComm
{
    Q_OBJECT
  public:
    using DeviceResolver = std::function<QString(int port)>;

    // Bytes kept waiting before the port stops reading from the driver; the
    // driver then buffers, and reports its own overflow through the counters.
    static constexpr int kInputBufferSize = 64 * 1024;
    static constexpr int kBaudRate = 19200;

    // driver answers the questions asked of the open device's terminal
    // driver; a test may hand in its own.
    explicit SerialCommPort(DeviceResolver resolve, QObject *parent = nullptr,
                            std::shared_ptr<const LineDriver> driver = LineDriver::system());
    ~SerialCommPort() override;

    void setCommPort(int port) override;
    int CommPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    bool PortOpen() const override { return m_open; }
    int InBufferCount() const override;
    void setInBufferCount(int count) override;
    int OutBufferCount() const override;
    void setOutBufferCount(int count) override;
    void setRThreshold(int threshold) override;
    int RThreshold() const override { return m_rThreshold; }
    void setSThreshold(int threshold) override;
    int SThreshold() const override { return m_sThreshold; }
    void setInputLen(int length) override { m_inputLen = length < 0 ? 0 : length; }
    int InputLen() const override { return m_inputLen; }
    QByteArray Input() override;
    bool Output(const QByteArray &data) override;
    std::chrono::milliseconds QuietTime() override;
    CommError lastError() const override { return m_error; }

    // The device path the current CommPort resolves to.
    QString devicePath() const;

  private:
    bool open();
    void close();
    void onReadyRead();
    bool lookForQuiet();
    void onQuietLook();
    qint64 now() const { return m_clock.nsecsElapsed(); }
    void onBytesWritten();
    void onError(int error);
    void checkTransmitEmpty();
    void checkLineCounters();
    void portLost(const QString &reason);
    bool receiveDue() const override;
    int driverOutQueue() const;

    DeviceResolver m_resolve;
    std::shared_ptr<const LineDriver> m_driver;
    QSerialPort *m_serial = nullptr; // one per opening
    QByteArray m_stash;              // bytes saved from a device that went away
    int m_commPort = 1;
    bool m_open = false;
    bool m_lost = false;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    int m_inputLen = 0;

    bool m_outputPending = false;
    QTimer m_drainTimer{this};

    // Times on m_clock, in nanoseconds: the last read that brought bytes,
    // and the last look that found the driver holding none after it.
    QElapsedTimer m_clock;
    qint64 m_lastArrival = 0;
    qint64 m_quietSeen = 0;
    QTimer m_quietLook{this};

    bool m_countersKnown = false;
    LineDriver::Counters m_counters;

    CommError m_error;
};
