#include "TerminalTransfer.h"

#include "BackgroundTarget.h"
#include "CommandLine.h"
#include "DiskTarget.h"
#include "FileNames.h"
#include "QtTimer.h"
#include "AnyPort.h"

#include <QDir>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

// The file dialog of a terminal: the name was given on the command line.
class TerminalTransfer::GivenName final : public FileDialog
{
  public:
    bool ShowOpen() override { return show(); }
    bool ShowSave() override { return show(); }
    QString name;

  private:
    bool show()
    {
        FileName = name;
        return true;
    }
};

TerminalTransfer::TerminalTransfer(PortChoice port, Output output, Parts parts)
    : m_choice(std::move(port)), m_output(std::move(output)), m_parts(std::move(parts)),
      m_dialog(std::make_unique<GivenName>())
{
    if (!m_parts.port)
        m_parts.port =
            std::make_unique<AnyPort>([device = m_choice.device](int) { return device; });
    if (!m_parts.timer1)
        m_parts.timer1 = std::make_unique<QtTimer>(TransferEngine::kInactivity);
    if (!m_parts.timer2)
        m_parts.timer2 = std::make_unique<QtTimer>(TransferEngine::kSendCompletion);
    if (!m_parts.source)
        m_parts.source = std::make_unique<BackgroundSource>();
    if (!m_parts.target)
        m_parts.target =
            std::make_unique<BackgroundTarget>([] { return std::make_unique<DiskTarget>(); });
    if (!m_parts.now)
        // In UTC: the local time zone is looked up (and its file looked at)
        // for each local time, and progress asks for the time every block.
        m_parts.now = [] { return QDateTime::currentDateTimeUtc(); };
    m_engine =
        std::make_unique<TransferEngine>(*m_parts.port, *this, *m_parts.timer1, *m_parts.timer2,
                                         *m_dialog, *m_parts.source, *m_parts.target);
    m_engine->choosePort(m_choice.number);
    m_engine->namePortsAsGiven(m_choice.stored ? QString() : FileNames::printable(m_choice.device));
}

TerminalTransfer::~TerminalTransfer()
{
    // The port and an unfinished backup are let go, whatever ended the program.
    m_engine->FormUnload();
}

void TerminalTransfer::send(const QString &file)
{
    // A missing file, a folder or a device is refused by the engine, in the
    // window's words.
    m_file = FileNames::absolute(file);
    m_dialog->name = m_file;
    m_engine->offerToSend(m_file, 0);
}

void TerminalTransfer::receive(const QString &file)
{
    m_file = FileNames::absolute(file);
    m_dialog->name = m_file;
    m_engine->cmdReceive_Click();
}

void TerminalTransfer::receiveInto(const QString &folder, int keep)
{
    m_folder = FileNames::absolute(folder);
    m_keep = keep;
    // A backup that begins while the last one is being saved is received.
    m_engine->keepLineBetweenBackups(true);
    struct stat info;
    if (::stat(FileNames::toNative(m_folder).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        messageBox(tr("Cannot save backups in \"%1\": it is not a folder.")
                       .arg(FileNames::printable(folder)));
        return;
    }
    receiveNext();
}

void TerminalTransfer::receiveNext()
{
    if (m_finished)
        return;
    // Named for now; renamed after the moment it is saved.
    receive(backupName(m_folder, m_parts.now()));
}

void TerminalTransfer::stop(int number)
{
    m_stopSignal = number;
    if (!m_folder.isEmpty() && !m_engine->backupUnderway()) {
        // Nothing of a backup has come: stopping loses nothing.
        m_finished = true;
        m_engine->FormUnload();
        endProgressLine();
        QTimer::singleShot(0, this, [this] { emit finished(CommandLine::kSuccess); });
        return;
    }
    if (m_engine->transferInProgress())
        m_engine->cmdCancel_Click();
    else
        finish(128 + number);
}

QString TerminalTransfer::stemFor(const QDateTime &moment)
{
    return QStringLiteral("backup-") +
           moment.toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss"));
}

QString TerminalTransfer::backupName(const QString &folder, const QDateTime &moment)
{
    const QString stem = folder + QLatin1Char('/') + stemFor(moment);
    const auto taken = [](const QString &name) {
        struct stat info;
        return ::lstat(FileNames::toNative(name).constData(), &info) == 0;
    };
    QString name = stem + QStringLiteral(".txt");
    for (int n = 2; taken(name); ++n)
        name = stem + QStringLiteral("-%1.txt").arg(n);
    return name;
}

QString TerminalTransfer::progressText(Direction direction, qint64 done, qint64 total,
                                       double bytesPerSecond)
{
    QString text;
    if (direction == Direction::Send)
        text = tr("%1 of %2 bytes sent (%3%)")
                   .arg(done)
                   .arg(total)
                   .arg(total > 0 ? done * 100 / total : 100);
    else
        text = tr("%1 bytes received").arg(done);
    if (bytesPerSecond <= 0)
        return text;
    text += tr(", %1 kB/s").arg(bytesPerSecond / 1000, 0, 'f', 1);
    if (direction == Direction::Send && total > done) {
        const qint64 seconds = qint64((total - done) / bytesPerSecond + 0.5);
        text += tr(", %1:%2 left").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    return text;
}

void TerminalTransfer::write(const QString &text)
{
    endProgressLine();
    m_output.status(text + QLatin1Char('\n'));
}

void TerminalTransfer::endProgressLine()
{
    if (std::exchange(m_lineOpen, false))
        m_output.status(QStringLiteral("\n"));
}

void TerminalTransfer::SbrMessage(const QString &text)
{
    // Shown while a transfer runs; the words that end it come with its end.
    m_status = text;
    if (m_running && !text.isEmpty() && !m_output.quiet) {
        m_startWords.clear();
        write(text);
    }
}

void TerminalTransfer::transferStarted(Direction, qint64 size)
{
    m_running = true;
    m_endedWords.clear();
    m_total = size;
    m_firstDone = -1;
    // The engine starts a transfer before it opens and sets the line, in one
    // turn of the event loop: its first words ("Waiting for data
    // transmission", which tell the operator to start the desk) are written
    // after that turn or before its first count, and not at all when the
    // port could not be opened.
    m_startWords = m_output.quiet ? QString() : m_status;
    QTimer::singleShot(0, this, &TerminalTransfer::sayStartWords);
}

void TerminalTransfer::sayStartWords()
{
    const QString words = std::exchange(m_startWords, {});
    if (m_running && !words.isEmpty())
        write(words);
}

void TerminalTransfer::showCount(Direction direction, qint64 bytes, const QString &)
{
    if (m_output.quiet)
        return;
    sayStartWords();
    const QDateTime now = m_parts.now();
    const qint64 done = direction == Direction::Send ? m_total - bytes : bytes;
    if (m_firstDone < 0) {
        m_firstDone = done;
        m_firstAt = now;
    }
    const bool last = direction == Direction::Send && bytes == 0;
    const qint64 every = m_output.terminal ? kTerminalFrameMs : kPlainLineMs;
    if (!last && m_writtenAt.isValid() && m_writtenAt.msecsTo(now) < every)
        return;
    m_writtenAt = now;
    const qint64 elapsed = m_firstAt.msecsTo(now);
    const double rate = elapsed >= 1000 ? (done - m_firstDone) * 1000.0 / double(elapsed) : 0;
    const QString text = progressText(direction, done, m_total, rate);
    if (!m_output.terminal) {
        write(text);
        return;
    }
    m_output.status(QLatin1Char('\r') + text + QStringLiteral("\x1b[K"));
    m_lineOpen = true;
}

void TerminalTransfer::transferEnded(Ending ending, const QString &words)
{
    m_running = false;
    m_endedWords = words;
    m_writtenAt = {};
    switch (ending) {
    case Ending::Sent:
        write(words);
        finish(CommandLine::kSuccess);
        return;
    case Ending::Saved:
        if (m_folder.isEmpty()) {
            write(words);
            finish(CommandLine::kSuccess);
        } else {
            keepSaved();
        }
        return;
    case Ending::Canceled:
        write(QStringLiteral("zo-vovere: ") + words);
        finish(m_stopSignal ? 128 + m_stopSignal : CommandLine::kFailed);
        return;
    case Ending::PortUnavailable:
        write(QStringLiteral("zo-vovere: ") + words);
        finish(CommandLine::kPortUnavailable);
        return;
    case Ending::FileRefused: // waiting for the next backup would fail the same way
        write(QStringLiteral("zo-vovere: ") + words);
        finish(CommandLine::kFailed);
        return;
    case Ending::Failed:
        write(QStringLiteral("zo-vovere: ") + words);
        if (m_folder.isEmpty())
            finish(CommandLine::kFailed);
        else // this one left nothing; the next is waited for, a moment later
            QTimer::singleShot(kRetryMs, this, &TerminalTransfer::receiveNext);
        return;
    }
}

void TerminalTransfer::keepSaved()
{
    // Saved under the name of the moment the wait began; it takes the name
    // of the moment it was saved, as a saved file: never over another file,
    // and the folder synced. Where that fails it keeps the first name.
    QString kept = m_file;
    const QDateTime now = m_parts.now();
    const QString name = FileNames::fileName(m_file).section(QLatin1Char('.'), 0, -2);
    if (name != stemFor(now) && !name.startsWith(stemFor(now) + QLatin1Char('-'))) {
        const QString dated = backupName(m_folder, now);
        const QString why = DiskTarget::renameSaved(m_file, dated);
        if (why.isEmpty())
            kept = dated;
        else
            write(tr("zo-vovere: the backup keeps the name \"%1\": it could not be renamed to "
                     "\"%2\": %3.")
                      .arg(FileNames::printable(m_file), FileNames::printable(dated), why));
    }
    write(FileNames::printable(FileNames::fileName(kept)) + QStringLiteral(": ") + m_endedWords);
    removeOlderBackups();
    QTimer::singleShot(0, this, &TerminalTransfer::receiveNext);
}

void TerminalTransfer::removeOlderBackups()
{
    // Only once the new backup is saved and its folder synced; by the time
    // in their names (two in one second counted on), newest first.
    if (m_keep <= 0)
        return;
    static const QRegularExpression kBackup(
        QStringLiteral("^backup-(\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\d)(?:-(\\d+))?\\.txt$"));
    struct Found
    {
        QString stamp;
        int n;
        QString name;
    };
    std::vector<Found> backups;
    const QStringList names =
        QDir(m_folder).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = kBackup.match(name);
        if (match.hasMatch())
            backups.push_back({match.captured(1),
                               match.captured(2).isEmpty() ? 1 : match.captured(2).toInt(), name});
    }
    std::sort(backups.begin(), backups.end(), [](const Found &a, const Found &b) {
        return std::tie(b.stamp, b.n) < std::tie(a.stamp, a.n);
    });
    for (std::size_t i = std::size_t(m_keep); i < backups.size(); ++i) {
        const QString path = m_folder + QLatin1Char('/') + backups[i].name;
        if (::unlink(FileNames::toNative(path).constData()) == 0)
            write(tr("zo-vovere: removed the older backup \"%1\" (keeping the newest %2)")
                      .arg(FileNames::printable(backups[i].name))
                      .arg(m_keep));
        else
            write(tr("zo-vovere: could not remove the older backup \"%1\": %2")
                      .arg(FileNames::printable(backups[i].name),
                           QString::fromLocal8Bit(std::strerror(errno))));
    }
}

void TerminalTransfer::messageBox(const QString &text)
{
    // A failure's words came with its end already.
    if (text == m_endedWords)
        return;
    write(QStringLiteral("zo-vovere: ") + text);
    if (!m_running) // refused before it started
        finish(CommandLine::kFailed);
}

void TerminalTransfer::finish(int status)
{
    if (std::exchange(m_finished, true))
        return;
    endProgressLine();
    QTimer::singleShot(0, this, [this, status] { emit finished(status); });
}
