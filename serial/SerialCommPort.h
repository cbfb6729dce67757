#pragma once

#include "SerialComm.h"

#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>

class QSerialPort;
class QSocketNotifier;

// The port on a real serial device through QSerialPort: 19200 baud, 8N1, no
// flow control, opened exclusively (a live legacy lock file, another process
// with the device open, Qt's lock file and TIOCEXCL, and flock). Port numbers become device paths
// through the resolver the owner hands in (COM1 -> /dev/ttyS0 unless configured).
//
// How the notifications come about:
//  - receive (2): checked whenever bytes are read, the threshold changes or a
//    handler returns, so a burst of several blocks drains block by block;
//    bytes that arrive are handed over from the read itself. While they
//    trickle in (a line at 19200 baud brings one every half millisecond, and
//    a pseudo-terminal or a UART's FIFO can hand them over one or two at a
//    time), the port stops watching the device and collects what has arrived
//    every kReadPaceMs instead of waking for each byte; a collection that
//    finds the line quiet, or a fast peer, watches it again. InBufferCount
//    counts what the driver holds too, and Input fetches it, so nothing that
//    has arrived waits for the next collection;
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
class SerialCommPort : public SerialComm
{
    Q_OBJECT
  public:
    using DeviceResolver = std::function<QString(int port)>;

    // Bytes kept waiting before the port stops reading from the driver; the
    // driver then buffers, and reports its own overflow through the counters.
    static constexpr int kInputBufferSize = 64 * 1024;
    static constexpr int kBaudRate = 19200;
    // How long one turn of the event loop may spend handing over notifications.
    static constexpr int kDeliveryBudgetMs = 4;
    // Reading at a pace: kTrickleReads reads in a row that each bring fewer
    // than kTrickleBytes start it, and a collection that brings kFastPeerBytes
    // or more (more than the line carries in a second) ends it.
    static constexpr int kReadPaceMs = 100;
    static constexpr int kTrickleBytes = 256;
    static constexpr int kTrickleReads = 8;
    static constexpr int kFastPeerBytes = 2048;

    explicit SerialCommPort(DeviceResolver resolve, QObject *parent = nullptr);
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
    int CommEvent() const override { return m_commEvent; }
    CommError lastError() const override { return m_error; }

    // The device path the current CommPort resolves to.
    QString devicePath() const;

  private:
    bool open();
    void close();
    void describeOpenFailure(const QSerialPort &serial);
    static QString inUseBy(const QString &who);
    void onReadyRead();
    void paceReading(qint64 brought);
    void collect();
    void holdReading();
    bool readingPaced() const;
    void fetchFromDriver(qint64 wanted);
    int driverInQueue() const;
    void onBytesWritten();
    void onError(int error);
    void checkTransmitEmpty();
    void checkLineCounters();
    void portLost(const QString &reason);
    bool receiveDue() const;
    void raise(int code);
    void scheduleDelivery();
    void deliver();
    int driverOutQueue() const;

    DeviceResolver m_resolve;
    QSerialPort *m_serial = nullptr; // one per opening
    QByteArray m_stash;              // bytes saved from a device that went away
    int m_commPort = 1;
    bool m_open = false;
    bool m_lost = false;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    int m_inputLen = 0;
    int m_commEvent = 0;

    std::deque<int> m_queue;    // line errors and send notifications, in order
    bool m_lostPending = false; // delivered once no receive notification is due
    bool m_deliveryScheduled = false;
    bool m_delivering = false;
    quint64 m_generation = 0;

    bool m_outputPending = false;
    QTimer m_drainTimer{this};

    QPointer<QSocketNotifier> m_readNotifier; // Qt's own, when it can be found
    QTimer m_readPace{this};
    bool m_pacedReading = false;
    int m_shortReads = 0;
    bool m_fetching = false;
    qint64 m_buffered = 0; // what Qt held after the last read

    bool m_countersKnown = false;
    struct Counters
    {
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    } m_counters;

    CommError m_error;
};
