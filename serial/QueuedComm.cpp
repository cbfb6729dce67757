#include "QueuedComm.h"

#include <QElapsedTimer>

#include <algorithm>

void QueuedComm::raise(int code)
{
    if (!PortOpen())
        return;
    m_queue.push_back(code);
    scheduleDelivery();
}

void QueuedComm::withdraw(int code)
{
    m_queue.erase(std::remove(m_queue.begin(), m_queue.end(), code), m_queue.end());
}

void QueuedComm::raiseLoss()
{
    m_lossPending = true;
    scheduleDelivery();
}

void QueuedComm::deliverSoon()
{
    if (m_delivering || m_deliveryScheduled)
        scheduleDelivery();
    else
        deliver();
}

void QueuedComm::forgetOpening()
{
    ++m_generation;
    m_queue.clear();
    m_lossPending = false;
    m_deliveryScheduled = false;
}

void QueuedComm::scheduleDelivery()
{
    if (m_deliveryScheduled || m_delivering)
        return;
    m_deliveryScheduled = true;
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != m_generation)
                return; // raised by an opening that has since been closed
            m_deliveryScheduled = false;
            deliver();
        },
        Qt::QueuedConnection);
}

void QueuedComm::deliver()
{
    if (m_delivering || !PortOpen())
        return;
    // A burst is worked off in one go for a few milliseconds, then the event
    // loop gets its turn (painting, input).
    QElapsedTimer budget;
    budget.start();
    const quint64 generation = m_generation;
    do {
        int code = 0;
        if (!m_queue.empty()) {
            code = m_queue.front();
            m_queue.pop_front();
        } else if (receiveDue()) {
            code = CommEvents::comEvReceive;
        } else if (m_lossPending) {
            m_lossPending = false;
            code = CommEvents::comEventPortLost;
        }
        if (code == 0)
            return;
        m_delivering = true;
        m_commEvent = code;
        emit OnComm();
        m_delivering = false;
        if (generation != m_generation || !PortOpen())
            return; // closed by the handler: nothing more of this opening
    } while (budget.elapsed() < kDeliveryBudgetMs);
    if (!m_queue.empty() || receiveDue() || m_lossPending)
        scheduleDelivery();
}
