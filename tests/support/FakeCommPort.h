#pragma once

#include "ManualTimer.h"
#include "SerialComm.h"

#include <QList>

// A port driven by the test: it records what is written, holds scripted
// incoming bytes, and raises notifications when the test says so, and the
// pause kQuietCheck after bytes as the clock passes it. It sees the line
// perfectly: the quiet is the test clock's time since bytes last arrived,
// also when the test then says the device went away.
class FakeCommPort final : public SerialComm
{
    Q_OBJECT
  public:
    explicit FakeCommPort(ManualClock &clock);

    void setCommPort(int port) override { m_commPort = port; }
    int CommPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    bool PortOpen() const override { return m_open; }
    int InBufferCount() const override { return int(m_in.size()); }
    void setInBufferCount(int count) override;
    int OutBufferCount() const override { return m_outPending; }
    void setOutBufferCount(int count) override;
    void setRThreshold(int threshold) override { m_rThreshold = threshold; }
    int RThreshold() const override { return m_rThreshold; }
    void setSThreshold(int threshold) override { m_sThreshold = threshold; }
    int SThreshold() const override { return m_sThreshold; }
    void setInputLen(int length) override { m_inputLen = length; }
    int InputLen() const override { return m_inputLen; }
    QByteArray Input() override;
    bool Output(const QByteArray &data) override;
    int CommEvent() const override { return m_event; }
    std::chrono::milliseconds QuietTime() override { return m_clock.now() - m_lastArrival; }
    CommError lastError() const override { return m_error; }

    // --- the test's side
    // Bytes arrive; like the real port, one receive notification is raised for
    // every threshold's worth that waits (while the port is open).
    void arrive(const QByteArray &bytes);
    // Bytes arrive but no notification is raised for them (yet): what a
    // device still holds when it goes away.
    void hold(const QByteArray &bytes);
    // The transmit side has emptied: one send notification if SThreshold is 1.
    void transmitEmpty();
    // The driver reports this many bytes still on their way.
    void setQueued(int bytes) { m_outPending = bytes; }
    // Raises a notification with any code.
    void raise(int code);

    QByteArray written;        // every byte handed to Output, in order
    QList<QByteArray> outputs; // each Output call
    int opens = 0;
    int discardsWhileOpen = 0; // OutBufferCount set 0 on the open port
    QList<int> openedPorts;    // CommPort at each successful open
    CommError failOpen;        // kind != None: the next opens fail with it
    int failOutputAfter = -1;  // >= 0: Output calls beyond this many fail

  private:
    const ManualClock &m_clock;
    ManualTimer m_quietLook;
    std::chrono::milliseconds m_lastArrival{0};
    int m_commPort = 1;
    bool m_open = false;
    QByteArray m_in;
    int m_outPending = 0;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    int m_inputLen = 0;
    int m_event = 0;
    CommError m_error;
};
