#include "AnyPort.h"

AnyPort::AnyPort(Resolver resolve, QObject *parent)
    : SerialComm(parent), m_resolve(std::move(resolve)), m_device(m_resolve, this),
      m_network(m_resolve, this)
{
    for (SerialComm *port : {static_cast<SerialComm *>(&m_device),
                             static_cast<SerialComm *>(&m_network)})
        connect(port, &SerialComm::OnComm, this, &SerialComm::OnComm);
}

void AnyPort::setCommPort(int port)
{
    m_device.setCommPort(port);
    m_network.setCommPort(port);
}

bool AnyPort::setPortOpen(bool open)
{
    if (open && !m_current->PortOpen())
        m_current = LineAddress::isNetwork(m_resolve(m_device.CommPort()))
                        ? static_cast<SerialComm *>(&m_network)
                        : static_cast<SerialComm *>(&m_device);
    return m_current->setPortOpen(open);
}

// Settings made while closed hold for whichever kind opens next.
void AnyPort::setRThreshold(int threshold)
{
    m_device.setRThreshold(threshold);
    m_network.setRThreshold(threshold);
}

void AnyPort::setSThreshold(int threshold)
{
    m_device.setSThreshold(threshold);
    m_network.setSThreshold(threshold);
}

void AnyPort::setInputLen(int length)
{
    m_device.setInputLen(length);
    m_network.setInputLen(length);
}
