#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>

class QTextBrowser;

// The program's help window: shows a help file (HTML) by name, in the
// session's language where it has one, found beside
// the program or in the installed data folder, in a window of its own that
// does not block the main window. Asking for the file already shown only
// brings the window to the front.
class HelpViewer : public QWidget
{
    Q_OBJECT
  public:
    explicit HelpViewer(QStringList searchDirs, QWidget *parent = nullptr);

    // Shows fileName at its contents. When the file cannot be found the
    // viewer says so itself and returns false.
    bool showHelpFile(const QString &fileName);

    QString shownFile() const { return m_shown; }
    QString locate(const QString &fileName) const;
    // The file in the session's language where there is one (NAME_de.hlp
    // for NAME.hlp), else locate(fileName).
    QString locateInLanguage(const QString &fileName) const;
    // The colours the help's links are drawn in (for tests).
    QColor linkColor() const;

  protected:
    // Tells the user the help file is missing; a hook for tests.
    virtual void reportMissing(const QString &fileName);
    void changeEvent(QEvent *event) override;

  private:
    void readableLinks();

    QStringList m_searchDirs;
    QTextBrowser *m_browser;
    QString m_shown;
};
