#pragma once

#include "LineDriver.h"
#include "SerialComm.h"

class QObject;
class QSerialPort;

// Opening a device for this program alone, and saying why not: what the
// path is (no file, pipe or /dev/null is a serial port), then another
// program's lock file or open descriptor, then Qt's own lock file and
// TIOCEXCL, then the advisory lock picocom and others take.
namespace ExclusiveOpen {

// The device opened at baudRate 8N1 without flow control, under the path its
// links resolve to (LCK..ttyUSB0, not the link's name); or null with error
// saying why.
QSerialPort *open(const QString &device, qint32 baudRate, qint64 readBufferSize,
                  const LineDriver &driver, CommError &error, QObject *parent);

// "the port is in use by picocom (process 4242)", or by another program.
QString inUseBy(const QString &who);

} // namespace ExclusiveOpen
