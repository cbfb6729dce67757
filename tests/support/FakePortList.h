#pragma once

#include "PortList.h"

// The serial ports as a test lists them, plugged and unplugged on cue.
class FakePortList final : public PortList
{
  public:
    QList<PortInfo> ports() const override { return list; }
    PortInfo describe(const QString &path) const override
    {
        return {path, {}, "not in the system's list", {}, {}, "does not exist"};
    }
    void setWatching(bool on) override { watching = on; }
    void plug(const PortInfo &port)
    {
        list.append(port);
        emit changed();
    }
    void unplug(const QString &device)
    {
        list.removeIf([&](const PortInfo &p) { return p.device == device; });
        emit changed();
    }

    QList<PortInfo> list;
    bool watching = false;
};
