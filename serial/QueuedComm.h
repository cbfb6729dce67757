#pragma once

#include "SerialComm.h"

#include <deque>

// What every kind of line shares: notifications raised while the line works
// are handed over from the event loop, one at a time, each handler having
// returned before the next; line errors and send notifications in the order
// they were raised, then received data, and the loss of the line last, so
// that bytes which arrived before it are still handed over.
class QueuedComm : public SerialComm
{
    Q_OBJECT
  public:
    using SerialComm::SerialComm;
    int CommEvent() const override { return m_commEvent; }

    // How long one turn of the event loop may spend handing over notifications.
    static constexpr int kDeliveryBudgetMs = 4;

  protected:
    // Whether a receive notification is due now (the line is open, a receive
    // listens and enough bytes wait).
    virtual bool receiveDue() const = 0;

    // Queues a notification of the current opening; nothing while closed.
    void raise(int code);
    // Takes back queued notifications of code not yet handed over.
    void withdraw(int code);
    // The line has gone: told once no receive notification is due any more.
    void raiseLoss();
    // Hands over from here, unless a handler is running or a turn is
    // already on its way (it is then handed over after it).
    void deliverSoon();
    // Hands over on a later turn of the event loop (never from a setter).
    void scheduleDelivery();
    // An opening ends: nothing it raised is handed over any more.
    void forgetOpening();

  private:
    void deliver();

    std::deque<int> m_queue;
    bool m_lossPending = false;
    bool m_deliveryScheduled = false;
    bool m_delivering = false;
    quint64 m_generation = 0;
    int m_commEvent = 0;
};
