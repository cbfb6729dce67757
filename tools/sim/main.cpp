// zo-vovere-sim: plays a Glow Arranger lighting controller on the far end of
// a serial line, so that ZO Vovere can be tried and tested without one.
#include "SimLine.h"
#include "SimStream.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr char kHelp[] =
    R"(Plays a Glow Arranger lighting controller on the far end of a serial line.

Without --device it creates a pseudo-terminal and prints its path: type it in
for COM1 (or COM2) under File > Port Settings... in ZO Vovere.
The first line printed is always "device: PATH".

Modes:
  receive   take what ZO Vovere sends. A fixture profile header is recognised
            (its name field and length are printed and the length is checked
            against the bytes that follow); the payload is saved with --out.
            Ends once the line has been quiet for --quiet-ms after data came.
            Reads at the line's pace of 1920 bytes a second unless --fast
            or --rate is given, so the sender's queue fills as on the line.
  dump      send a backup stream, from --file or generated with --length
            ("GLOW ARRANGER" header, ':' seven bytes before the end), at the
            line's pace of 1920 bytes a second unless --fast is given.

Exit status: 0 on success, 1 on any failure (with the reason), 2 on bad usage.)";

int fail(const QString &message)
{
    std::fprintf(stderr, "zo-vovere-sim: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zo-vovere-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kHelp));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("mode"), QStringLiteral("receive or dump"));
    const QCommandLineOption device({"d", "device"}, "Use this serial device (19200 8N1).", "path");
    const QCommandLineOption out({"o", "out"}, "receive: save the payload to this file.", "file");
    const QCommandLineOption quiet("quiet-ms", "receive: quiet time that ends it (default 2000).",
                                   "ms", "2000");
    const QCommandLineOption timeout("timeout-ms",
                                     "receive: give up when nothing came in this time "
                                     "(default 60000).",
                                     "ms", "60000");
    const QCommandLineOption file({"f", "file"}, "dump: send this file as it is.", "file");
    const QCommandLineOption length({"l", "length"}, "dump: generate a stream of this length.",
                                    "bytes");
    const QCommandLineOption fast("fast",
                                  "send (dump) or take (receive) as fast as the line goes.");
    const QCommandLineOption rate("rate", "bytes a second sent or taken (default 1920).", "bytes",
                                  "1920");
    const QCommandLineOption stopAfter(
        "stop-after", "dump: stop after this many bytes (lost connection).", "bytes");
    const QCommandLineOption vanish("vanish", "dump: hang up the line at once after stopping.");
    const QCommandLineOption wrongHeader("wrong-header",
                                         "dump: start with \"GLOW Arranger\" instead.");
    const QCommandLineOption middleMarker("marker-in-middle",
                                          "dump: put ':' at index 1017 of the second block.");
    const QCommandLineOption saveStream("save-stream", "dump: also write the stream to this file.",
                                        "file");
    const QCommandLineOption waitEnter("wait-enter",
                                       "dump: start when a line is read from standard input.");
    const QCommandLineOption delay("start-delay-ms", "dump: wait this long before sending.", "ms",
                                   "0");
    const QCommandLineOption linger(
        "linger-ms",
        "dump: hang up this long after the program has taken the last byte (default: stay on "
        "the line, as a desk does, until the program lets go of it; on a serial device, end "
        "once the last byte has left).",
        "ms", "-1");
    const QCommandLineOption pauseAfter(
        "pause-after", "dump: pause once after this many bytes, as a desk that stops a moment.",
        "bytes");
    const QCommandLineOption pauseMs("pause-ms", "dump: how long that pause lasts (default 2000).",
                                     "ms", "2000");
    const QCommandLineOption burst("burst",
                                   "dump: hand the bytes over this many at a time, as a UART's "
                                   "FIFO (14) or a USB adapter (31) does (default: as they come).",
                                   "bytes", "0");
    parser.addOptions({device, out, quiet, timeout, file, length, fast, rate, stopAfter, vanish,
                       wrongHeader, middleMarker, saveStream, waitEnter, delay, linger, pauseAfter,
                       pauseMs, burst});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.size() != 1 || (args[0] != "receive" && args[0] != "dump")) {
        std::fprintf(stderr, "zo-vovere-sim: give one mode, receive or dump (see --help)\n");
        return 2;
    }
    auto number = [&](const QCommandLineOption &option, qint64 &value) {
        bool ok = false;
        value = parser.value(option).toLongLong(&ok);
        return ok && value >= 0;
    };

    SimLine line;
    QString error;
    if (!(parser.isSet(device) ? line.openDevice(parser.value(device), &error)
                               : line.openPseudoTerminal(&error)))
        return fail(error);
    std::printf("device: %s\n", qPrintable(line.devicePath()));
    if (!parser.isSet(device))
        std::printf("Type this path in for COM1 (or COM2) under File > Port Settings... "
                    "in ZO Vovere\n");
    std::fflush(stdout);

    if (args[0] == "receive") {
        qint64 quietMs = 0, timeoutMs = 0, bytesPerSecond = 0;
        if (!number(quiet, quietMs) || !number(timeout, timeoutMs))
            return fail(QStringLiteral("--quiet-ms and --timeout-ms take a number"));
        if (!parser.isSet(fast) && (!number(rate, bytesPerSecond) || bytesPerSecond == 0))
            return fail(QStringLiteral("--rate takes a positive number"));
        QByteArray data;
        if (!line.receive(data, quietMs, timeoutMs, bytesPerSecond, &error))
            return fail(error);
        const ProfileReport report = SimStream::inspect(data);
        std::printf("received %lld bytes\n", static_cast<long long>(data.size()));
        if (report.hasHeader) {
            std::printf("profile header: name \"%s\", length %u\n", report.name.constData(),
                        report.declaredLength);
            std::printf("payload: %lld bytes\n", static_cast<long long>(report.payload.size()));
        } else {
            std::printf("no profile header\n");
        }
        if (parser.isSet(out)) {
            QFile target(parser.value(out));
            if (!target.open(QIODevice::WriteOnly) ||
                target.write(report.payload) != report.payload.size())
                return fail(QStringLiteral("cannot write %1: %2")
                                .arg(parser.value(out), target.errorString()));
        }
        if (report.hasHeader && report.declaredLength != quint32(report.payload.size()))
            return fail(QStringLiteral("length field says %1 bytes, but %2 followed")
                            .arg(report.declaredLength)
                            .arg(report.payload.size()));
        std::fflush(stdout);
        return 0;
    }

    QByteArray stream;
    if (parser.isSet(file)) {
        QFile source(parser.value(file));
        if (!source.open(QIODevice::ReadOnly))
            return fail(
                QStringLiteral("cannot read %1: %2").arg(parser.value(file), source.errorString()));
        stream = source.readAll();
    } else if (parser.isSet(length)) {
        qint64 n = 0;
        if (!number(length, n) || n < 20 || n > (qint64(1) << 31))
            return fail(QStringLiteral("--length takes a number of at least 20"));
        stream = SimStream::generate(n);
    } else {
        return fail(QStringLiteral("dump needs --file or --length"));
    }
    if (parser.isSet(wrongHeader))
        stream.replace(0, 13, "GLOW Arranger");
    if (parser.isSet(middleMarker)) {
        if (stream.size() < 3 * 1024)
            return fail(QStringLiteral("--marker-in-middle needs at least three blocks"));
        stream[1024 + 1017] = ':';
    }
    if (parser.isSet(saveStream)) {
        QFile copy(parser.value(saveStream));
        if (!copy.open(QIODevice::WriteOnly) || copy.write(stream) != stream.size())
            return fail(QStringLiteral("cannot write %1").arg(parser.value(saveStream)));
    }
    qint64 limit = stream.size(), bytesPerSecond = 0, delayMs = 0, lingerMs = -1;
    qint64 pauseAt = -1, pauseLength = 0, burstBytes = 0;
    if (!number(burst, burstBytes))
        return fail(QStringLiteral("--burst takes a number"));
    if (parser.isSet(pauseAfter) && (!number(pauseAfter, pauseAt) || !number(pauseMs, pauseLength)))
        return fail(QStringLiteral("--pause-after and --pause-ms take a number"));
    if (parser.isSet(stopAfter) && !number(stopAfter, limit))
        return fail(QStringLiteral("--stop-after takes a number"));
    if (!parser.isSet(fast) && (!number(rate, bytesPerSecond) || bytesPerSecond == 0))
        return fail(QStringLiteral("--rate takes a positive number"));
    if (!number(delay, delayMs) ||
        (parser.value(linger) != QLatin1String("-1") && !number(linger, lingerMs)))
        return fail(QStringLiteral("--start-delay-ms and --linger-ms take a number"));

    if (parser.isSet(waitEnter)) {
        std::printf("press Enter to start the dump\n");
        std::fflush(stdout);
        std::string ignored;
        std::getline(std::cin, ignored);
    }
    SimLine::sleepMs(delayMs);
    const QByteArray sent = stream.left(limit);
    const qint64 beforePause = pauseAt >= 0 ? std::min(pauseAt, limit) : limit;
    if (!line.send(sent.left(beforePause), bytesPerSecond, &error, burstBytes))
        return fail(error);
    if (beforePause < sent.size()) {
        SimLine::sleepMs(pauseLength);
        if (!line.send(sent.mid(beforePause), bytesPerSecond, &error, burstBytes))
            return fail(error);
    }
    std::printf("sent %lld of %lld bytes\n", static_cast<long long>(sent.size()),
                static_cast<long long>(stream.size()));
    std::fflush(stdout);
    if (parser.isSet(vanish))
        return 0; // hangs up as the process ends
    line.drain();
    if (lingerMs >= 0)
        SimLine::sleepMs(lingerMs);
    else
        line.waitForRelease();
    return 0;
}
