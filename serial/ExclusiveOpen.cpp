#include "ExclusiveOpen.h"

#include "DeviceNode.h"
#include "PortUsers.h"

#include <QFileInfo>
#include <QObject>
#include <QSerialPort>

#include <cerrno>
#include <cstring>

namespace ExclusiveOpen {

QString inUseBy(const QString &who)
{
    if (who.isEmpty())
        return QObject::tr("the port is in use by another program");
    return QObject::tr("the port is in use by %1").arg(who);
}

namespace {

// Why Qt could not open a device that looked like a terminal.
void describeFailure(const QSerialPort &serial, CommError &error)
{
    const auto qtError = serial.error();
    error.reason = serial.errorString();
    if (qtError == QSerialPort::DeviceNotFoundError) {
        error.kind = CommError::Kind::NotFound;
        return;
    }
    if (qtError == QSerialPort::PermissionError || qtError == QSerialPort::OpenError) {
        // Qt reports a lock held by another program as a permission error; if
        // we may open the device ourselves, it is busy.
        if (DeviceNode::mayOpen(error.device)) {
            error.kind = CommError::Kind::Busy;
            const auto user = PortUsers::holder(error.device);
            error.reason = inUseBy(user ? user->describe() : QString());
        } else {
            error.kind = CommError::Kind::PermissionDenied;
            error.reason = QObject::tr("permission denied");
            error.access = DeviceNode::access(error.device);
        }
        return;
    }
    error.kind = CommError::Kind::Other;
}

} // namespace

QSerialPort *open(const QString &device, qint32 baudRate, qint64 readBufferSize,
                  const LineDriver &driver, CommError &error, QObject *parent)
{
    error = {};
    error.device = device;
    if (device.isEmpty()) {
        error.kind = CommError::Kind::NotFound;
        error.reason = QObject::tr("no device is configured for this port");
        return nullptr;
    }

    // What the path is comes first: a file or /dev/null is no serial port,
    // whoever else has it open.
    const DeviceNode::Check check = DeviceNode::inspect(error.device);
    switch (check.kind) {
    case DeviceNode::Check::Kind::Terminal:
        break;
    case DeviceNode::Check::Kind::Missing:
        error.kind = CommError::Kind::NotFound;
        error.reason = QObject::tr("the device does not exist");
        return nullptr;
    case DeviceNode::Check::Kind::NotTerminal:
        error.kind = CommError::Kind::NotSerial;
        error.reason = QObject::tr("not a serial port (%1)").arg(check.what);
        return nullptr;
    case DeviceNode::Check::Kind::Refused:
        if (check.error == EACCES || check.error == EPERM) {
            error.kind = CommError::Kind::PermissionDenied;
            error.reason = QObject::tr("permission denied");
            error.access = DeviceNode::access(error.device);
            return nullptr;
        }
        if (DeviceNode::meansNoHardware(check.error)) {
            error.kind = CommError::Kind::NoHardware;
            error.reason = QObject::tr("there is no serial port at this device (%1)")
                               .arg(QString::fromLocal8Bit(std::strerror(check.error)));
            return nullptr;
        }
        if (check.error != EBUSY) { // EBUSY: held exclusively; who holds it is told below
            error.kind = CommError::Kind::Other;
            error.reason = QString::fromLocal8Bit(std::strerror(check.error));
            return nullptr;
        }
        break;
    }

    // Another program on the same line would take the bytes meant for us
    // (or interleave its own): honour its lock file and its open descriptor.
    if (const auto user = PortUsers::holder(error.device)) {
        error.kind = CommError::Kind::Busy;
        error.reason = inUseBy(user->describe());
        return nullptr;
    }

    auto *serial = new QSerialPort(parent);
    // The device itself, not a link to it: Qt names its lock file after the
    // path, and other programs look for LCK..ttyUSB0, not for the link's name.
    const QString resolved = QFileInfo(error.device).canonicalFilePath();
    serial->setPortName(resolved.isEmpty() ? error.device : resolved);
    serial->setBaudRate(baudRate);
    serial->setDataBits(QSerialPort::Data8);
    serial->setParity(QSerialPort::NoParity);
    serial->setStopBits(QSerialPort::OneStop);
    serial->setFlowControl(QSerialPort::NoFlowControl);
    serial->setReadBufferSize(readBufferSize);
    // Qt takes its own lock file and TIOCEXCL; the flock below is the third
    // convention, the one picocom and others use.
    if (!serial->open(QIODevice::ReadWrite)) {
        describeFailure(*serial, error);
        delete serial;
        return nullptr;
    }
    if (!driver.lockExclusive(int(serial->handle()))) {
        serial->close();
        delete serial;
        error.kind = CommError::Kind::Busy;
        const auto user = PortUsers::openedBy(error.device);
        error.reason = inUseBy(user ? user->describe() : QString());
        return nullptr;
    }
    return serial;
}

} // namespace ExclusiveOpen
