#pragma once

#include <QString>

class PortList;
class SettingsStore;

// The line a transfer from the terminal uses, from --port.
struct PortChoice
{
    int number = 2;     // COM1 or COM2: what messages call the port
    QString device;     // the device path opened
    QString refusal;    // why the argument names no port; empty when it does
    bool stored = true; // the device is COM1's or COM2's; else messages name it by its path

    // argument is COM1 or COM2 (any letter case: their devices from the
    // store's [Ports]), a path, or a name under /dev/serial/by-id or /dev.
    // Empty: the port chosen in the window. A device that is neither COM1's
    // nor COM2's is opened as the window's choice, and named by its path.
    static PortChoice from(const QString &argument, const SettingsStore &store,
                           const QString &devDir = QStringLiteral("/dev"));
};

// The ports as Port Settings lists them, one line each: the port it is for
// (COM1, COM2 or -), device, stable name (or -) and status, in columns under
// a heading.
QString portTable(const PortList &ports, const SettingsStore &store);
