#include "HelpViewer.h"

#include "TextSize.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpViewer::HelpViewer(QStringList searchDirs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_searchDirs(std::move(searchDirs)),
      m_browser(new QTextBrowser(this))
{
    setWindowTitle(tr("ZO Vovere Help"));
    m_browser->setOpenExternalLinks(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(textSize(*this, 80, 40));
    readableLinks();
}

void HelpViewer::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        readableLinks();
    QWidget::changeEvent(event);
}

QColor HelpViewer::linkColor() const
{
    return m_browser->palette().color(QPalette::Link);
}

void HelpViewer::readableLinks()
{
    // A dark colour scheme that sets no link colours of its own leaves Qt's
    // dark blue on a dark page: the links are then lightened until they read.
    // (The window's palette: its page is given to the browser after this.)
    const QPalette given = palette();
    QPalette links = m_browser->palette();
    for (const auto role : {QPalette::Link, QPalette::LinkVisited}) {
        QColor link = given.color(role);
        if (given.color(QPalette::Base).lightness() < 128 && link.lightness() < 150)
            link.setHsl(link.hslHue() < 0 ? 210 : link.hslHue(),
                        std::max(link.hslSaturation(), 160), 170);
        links.setColor(role, link);
    }
    m_browser->setPalette(links);
}

QString HelpViewer::locate(const QString &fileName) const
{
    for (const QString &dir : m_searchDirs) {
        const QFileInfo candidate(QDir(dir), fileName);
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    return {};
}

QString HelpViewer::locateInLanguage(const QString &fileName) const
{
    // "ZO vovere_de.hlp" beside "ZO vovere.hlp" for a German session.
    const QFileInfo name(fileName);
    const QString language = QLocale().name().section(QLatin1Char('_'), 0, 0);
    if (!language.isEmpty() && language != QLatin1String("C") &&
        language != QLatin1String("en")) {
        const QString translated =
            locate(name.completeBaseName() + QLatin1Char('_') + language + QLatin1Char('.') +
                   name.suffix());
        if (!translated.isEmpty())
            return translated;
    }
    return locate(fileName);
}

bool HelpViewer::showHelpFile(const QString &fileName)
{
    const QString path = locateInLanguage(fileName);
    if (path.isEmpty()) {
        reportMissing(fileName);
        return false;
    }
    if (path != m_shown || !isVisible()) {
        m_browser->setSource(QUrl::fromLocalFile(path), QTextDocument::HtmlResource);
        m_browser->scrollToAnchor(QStringLiteral("contents"));
        m_shown = path;
    }
    show();
    raise();
    activateWindow();
    return true;
}

void HelpViewer::reportMissing(const QString &fileName)
{
    QMessageBox::warning(parentWidget(), windowTitle(),
                         tr("Cannot find the help file \"%1\".\n\nLooked in:\n%2")
                             .arg(fileName, m_searchDirs.join(QLatin1Char('\n'))));
}
