// What the window's commands do: the menus, the file given at start, and
// closing the window or ending the program on a signal.
#include "frmGAbackup.h"

#include "FileKinds.h"
#include "FileNames.h"
#include "HelpViewer.h"
#include "PortSettingsDialog.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QMessageBox>

HelpViewer *frmGAbackup::helpViewer()
{
    if (!m_help)
        m_help = new HelpViewer(m_dataDirs, this);
    return m_help;
}

void frmGAbackup::offerToSend(const QString &file)
{
    if (m_engine->transferInProgress())
        return;
    const QString path = FileNames::absolute(file);
    // The filter that lists the file: fixture profiles for a .gaf, else all.
    m_engine->offerToSend(path, path.endsWith(QLatin1String(".gaf"), Qt::CaseInsensitive) ? 2 : 3);
}

void frmGAbackup::startWith(const QString &file)
{
    const QString unusable = FileKinds::cannotOffer(file);
    if (unusable.isEmpty())
        offerToSend(file);
    else
        messageBox(
            tr("Cannot open \"%1\" for sending: %2.").arg(FileNames::printable(file), unusable));
}

void frmGAbackup::mnuOpen_Click()
{
    m_engine->cmdSend_Click();
}

void frmGAbackup::mnuSaveas_Click()
{
    m_engine->cmdReceive_Click();
}

void frmGAbackup::mnuPortSettings_Click()
{
    PortSettingsDialog dialog(m_store, *m_portList, this);
    dialog.exec();
    showPortDevices();
}

void frmGAbackup::mnuExit_Click()
{
    close();
}

void frmGAbackup::mnuGAhelp_Click()
{
    // The viewer reports a missing file itself; the command adds nothing.
    helpViewer()->showHelpFile(kHelpName);
}

void frmGAbackup::mnuAbout_Click()
{
    showAbout(tr("About ZO Vovere"), aboutText());
}

void frmGAbackup::showAbout(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    box.exec();
}

bool frmGAbackup::confirmStopTransfer()
{
    QMessageBox box(QMessageBox::Question, QString(),
                    tr("A transfer is in progress. Stop it and exit?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    m_stopQuestion = &box;
    const int answer = box.exec();
    m_stopQuestion = nullptr;
    return answer == QMessageBox::Yes;
}

void frmGAbackup::closeEvent(QCloseEvent *event)
{
    if (m_engine->transferInProgress()) {
        if (!confirmStopTransfer()) {
            event->ignore();
            return;
        }
        // Stopped as Cancel stops it: an unfinished receive is discarded.
        if (m_engine->transferInProgress())
            m_engine->AbortTransfer();
    }
    Form_Unload();
    if (m_help)
        m_help->close();
    event->accept();
}

void frmGAbackup::endOnSignal()
{
    if (m_engine->transferInProgress())
        m_engine->cmdCancel_Click();
    Form_Unload();
    if (m_help)
        m_help->close();
}
