#pragma once

#include "DesktopSession.h"
#include "PortList.h"
#include "TransferEngine.h"
#include "TransferWindow.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <optional>

#include <memory>

class AnimationWidget;
class HelpViewer;
class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class StatusAnnouncement;
class SettingsStore;

// The program's one window. It lays out the controls, routes clicks, menu
// commands, port notifications and timer ticks to the transfer engine, and
// loads and stores the remembered settings. What a transfer does it learns
// from the engine's calls (started, a count, ended and how), never from the
// texts it shows.
class frmGAbackup : public QMainWindow, public TransferWindow
{
    Q_OBJECT
  public:
    static constexpr int kProgressScale = 10000;
    // Byte counts in the status line are shown at most this often.
    static constexpr std::chrono::milliseconds kStatusFrame{16};
    inline static const QString kClipName = QStringLiteral("filemove.avi");
    inline static const QString kHelpName = QStringLiteral("ZO vovere.hlp");

    // What the window is built from. Missing parts are made here: the real
    // serial port (device paths from the store's [Ports]), Qt timers and
    // QFileDialog. dataDirs are where the clip and help file are looked for,
    // the program's own folder first.
    struct Parts
    {
        std::unique_ptr<SerialComm> port;
        std::unique_ptr<Timer> timer1;
        std::unique_ptr<Timer> timer2;
        std::unique_ptr<Timer> statusFrame; // paces the byte counts shown
        std::unique_ptr<FileDialog> dialog;
        std::unique_ptr<SendSource> source;        // where a send's chunks are read
        std::unique_ptr<ReceiveTarget> target;     // where a receive is written
        std::unique_ptr<PortList> portList;        // the serial ports, for Port Settings
        std::unique_ptr<SleepInhibitor> inhibitor; // logind on the system bus
        std::unique_ptr<DesktopNotifier> notifier; // the session bus's notifications
        QStringList dataDirs;
    };

    explicit frmGAbackup(SettingsStore &store, Parts parts = {}, QWidget *parent = nullptr);
    // parts with every missing one made: the real port (device paths from
    // the store's [Ports]), Qt timers, the file's own threads, the system's
    // port list and buses, the data folders beside the program.
    static Parts completed(Parts parts, SettingsStore &store);
    ~frmGAbackup() override;

    // TransferWindow
    void SbrMessage(const QString &text) override;
    void showCount(Direction direction, qint64 bytes, const QString &words) override;
    void transferStarted(Direction direction, qint64 size) override;
    void transferEnded(Ending ending, const QString &words) override;
    void messageBox(const QString &text) override;
    void detailedMessageBox(const QString &text, const QString &details) override;
    void showBusy(bool busy) override;
    void showProgress(const Progress &progress) override;
    void showAnimation(bool playing) override;

    // Starts a send with the send dialog showing file, so that the user only
    // confirms (a file given on the command line or by a file manager).
    void offerToSend(const QString &file);
    // The FILE of the command line: offered for sending, or, when it does not
    // exist or is a folder, said in a message.
    void startWith(const QString &file);

    // Ends the program's work as Cancel and Exit would, without asking
    // anything (a logout or a kill cannot answer): a running transfer is
    // stopped (output dropped, an unfinished backup discarded, the port and
    // its lock let go) and the settings are written. The caller then quits.
    void endOnSignal();

    // Menu commands.
    void mnuOpen_Click();
    void mnuSaveas_Click();
    void mnuPortSettings_Click();
    void mnuExit_Click();
    void mnuGAhelp_Click();
    void mnuAbout_Click();

    static QString aboutText();
    // Where the clip and the help file are looked for, in order, for a
    // program installed in programDir.
    static QStringList dataDirsFor(const QString &programDir);
    // Twips to device-independent pixels at the screen's logical resolution.
    static int twips(int value);

    TransferEngine &engine() { return *m_engine; }
    // The window's serial port object.
    SerialComm &Comm1() { return *m_port; }
    // The help window, made on first use.
    HelpViewer *helpViewer();

    // The controls, named as the window knows them.
    QGroupBox *Frame1;
    QRadioButton *Option1;
    QRadioButton *Option2;
    QPushButton *cmdSend = nullptr;
    QPushButton *cmdReceive;
    QPushButton *cmdCancel;
    QProgressBar *ProgressBar1;
    AnimationWidget *Animation1;
    QFrame *Line1;
    QLabel *sbrPanel;
    QAction *mnuOpen;
    QAction *mnuSaveas;
    QAction *mnuPortSettings;
    QAction *mnuExit;
    QAction *mnuGAhelp;
    QAction *mnuAbout;

  protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    // Shows a message box; a hook for tests.
    virtual void showMessageBox(const QString &text, const QString &details = {});
    // Asks whether a running transfer may be stopped to exit; a hook for tests.
    virtual bool confirmStopTransfer();
    virtual void showAbout(const QString &title, const QString &text);

  private:
    void buildControls();
    // Places the controls at the specified layout, grown as the font needs.
    void placeControls();
    struct Scale
    {
        qreal across = 1.0;
        qreal down = 1.0;
    };
    // What the captions need, in pixels.
    struct Widths
    {
        qreal starters = 0; // Send File and Receive File, as wide as each other
        qreal cancel = 0;
        qreal options = 0;
        qreal frame = 0;
    };
    Scale captionScale() const;
    Widths captionWidths() const;
    void buildMenus();
    void Form_Load();
    void Form_Unload();
    void Option1_Click();
    void Option2_Click();
    void showStatus(const QString &text);
    void showPortDevices();
    // Gives this window the keyboard back after a dialog or popup of this
    // program that had it has closed (leftClosed).
    void takeKeyboardBack(bool leftClosed);

    SettingsStore &m_store;
    std::unique_ptr<SerialComm> m_port;
    std::unique_ptr<Timer> m_timer1;
    std::unique_ptr<Timer> m_timer2;
    std::unique_ptr<Timer> m_statusFrame; // running while counts are shown
    std::unique_ptr<FileDialog> m_dialog;
    std::unique_ptr<SendSource> m_source;
    std::unique_ptr<ReceiveTarget> m_target;
    std::unique_ptr<PortList> m_portList;
    std::unique_ptr<SleepInhibitor> m_inhibitor;
    std::unique_ptr<DesktopNotifier> m_notifier;
    StatusAnnouncement *m_announcement;
    struct PendingCount
    {
        QString words;
        qint64 bytes = 0;
    };
    std::optional<PendingCount> m_pendingCount; // the latest count not yet shown
    QStringList m_dataDirs;
    std::unique_ptr<TransferEngine> m_engine;
    HelpViewer *m_help = nullptr;
    QPointer<QMessageBox> m_stopQuestion; // while the stop question is shown
    QPushButton *m_starter = nullptr;     // the button of the running or last transfer
    QPointer<QWindow> m_focusWindow;      // the window of this program that has the keyboard
    QString m_clipPath;
    bool m_unloaded = false;
};
