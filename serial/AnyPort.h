#pragma once

#include "NetworkLine.h"
#include "SerialCommPort.h"

// The port for whatever a port number's address names, chosen at each
// opening: a device path opens the serial device, tcp://HOST:PORT or
// rfc2217://HOST:PORT a line through a serial server on the network. The
// engine and both front ends see one port either way.
class AnyPort final : public SerialComm
{
    Q_OBJECT
  public:
    using Resolver = std::function<QString(int port)>;
    explicit AnyPort(Resolver resolve, QObject *parent = nullptr);

    void setCommPort(int port) override;
    int CommPort() const override { return m_current->CommPort(); }
    bool setPortOpen(bool open) override;
    bool PortOpen() const override { return m_current->PortOpen(); }
    int InBufferCount() const override { return m_current->InBufferCount(); }
    void setInBufferCount(int count) override { m_current->setInBufferCount(count); }
    int OutBufferCount() const override { return m_current->OutBufferCount(); }
    void setOutBufferCount(int count) override { m_current->setOutBufferCount(count); }
    void setRThreshold(int threshold) override;
    int RThreshold() const override { return m_current->RThreshold(); }
    void setSThreshold(int threshold) override;
    int SThreshold() const override { return m_current->SThreshold(); }
    void setInputLen(int length) override;
    int InputLen() const override { return m_current->InputLen(); }
    QByteArray Input() override { return m_current->Input(); }
    bool Output(const QByteArray &data) override { return m_current->Output(data); }
    std::chrono::milliseconds QuietTime() override { return m_current->QuietTime(); }
    int CommEvent() const override { return m_current->CommEvent(); }
    CommError lastError() const override { return m_current->lastError(); }

    // The address the current CommPort resolves to.
    QString address() const { return m_resolve(m_device.CommPort()); }

  private:
    Resolver m_resolve;
    SerialCommPort m_device;
    NetworkLine m_network;
    SerialComm *m_current = &m_device;
};
