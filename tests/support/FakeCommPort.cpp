#include "FakeCommPort.h"

FakeCommPort::FakeCommPort(ManualClock &clock) : m_clock(clock), m_quietLook(clock)
{
    m_quietLook.setInterval(kQuietCheck);
    m_quietLook.setOnTick([this] {
        m_quietLook.setEnabled(false);
        if (m_open && m_rThreshold > 0)
            raise(CommEvents::comEvQuiet);
    });
}

bool FakeCommPort::setPortOpen(bool open)
{
    if (open && !m_open && failOpen.kind != CommError::Kind::None) {
        m_error = failOpen;
        return false;
    }
    if (open && !m_open) {
        ++opens;
        openedPorts.append(m_commPort);
    }
    m_open = open;
    return true;
}

void FakeCommPort::setInBufferCount(int count)
{
    if (count == 0)
        m_in.clear();
}

void FakeCommPort::setOutBufferCount(int count)
{
    if (count != 0)
        return;
    if (m_open && m_outPending > 0)
        ++discardsWhileOpen;
    m_outPending = 0;
}

QByteArray FakeCommPort::Input()
{
    const int take = m_inputLen == 0 ? int(m_in.size()) : std::min<int>(m_inputLen, m_in.size());
    QByteArray taken = m_in.left(take);
    m_in.remove(0, take);
    return taken;
}

bool FakeCommPort::Output(const QByteArray &data)
{
    if (!m_open) {
        m_error = {CommError::Kind::NotOpen, QStringLiteral("/dev/fake"),
                   QStringLiteral("the port is not open")};
        return false;
    }
    if (failOutputAfter >= 0 && outputs.size() >= failOutputAfter) {
        m_error = {CommError::Kind::Io, QStringLiteral("/dev/fake"),
                   QStringLiteral("Input/output error")};
        return false;
    }
    outputs.append(data);
    written += data;
    m_outPending += int(data.size());
    return true;
}

void FakeCommPort::hold(const QByteArray &bytes)
{
    m_in += bytes;
    if (!bytes.isEmpty()) {
        m_lastArrival = m_clock.now();
        m_quietLook.setEnabled(true);
    }
}

void FakeCommPort::arrive(const QByteArray &bytes)
{
    hold(bytes);
    while (m_open && m_rThreshold > 0 && m_in.size() >= m_rThreshold) {
        const qsizetype before = m_in.size();
        raise(2);
        if (m_in.size() == before)
            break; // the handler took nothing
    }
}

void FakeCommPort::transmitEmpty()
{
    m_outPending = 0;
    if (m_open && m_sThreshold > 0)
        raise(1);
}

void FakeCommPort::raise(int code)
{
    m_event = code;
    emit OnComm();
}
