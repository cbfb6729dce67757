#include "QtFileDialog.h"

#include "FileNames.h"
#include "TextSize.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>

QStringList QtFileDialog::nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString label = parts.at(i).trimmed();
        QStringList patterns = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        // Qt reads the patterns from the last parentheses of the entry and,
        // with their details hidden, shows what comes before: the label.
        filters.append(QStringLiteral("%1 (%2)").arg(label, patterns.join(QLatin1Char(' '))));
    }
    return filters;
}

QString QtFileDialog::openedName(const QString &typed, const QString &defaultExt)
{
    QString suffix = defaultExt;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    const QFileInfo info(typed);
    const QString withSuffix = typed + QLatin1Char('.') + suffix;
    if (suffix.isEmpty() || info.exists() || !info.suffix().isEmpty() ||
        !QFileInfo::exists(withSuffix))
        return typed;
    return withSuffix;
}

// Opening "small" opens small.txt when only that exists, as saving "small"
// saves small.txt.
class QtFileDialog::Dialog : public QFileDialog
{
  public:
    explicit Dialog(QWidget *parent) : QFileDialog(parent) {}
    void setDefaultExt(const QString &defaultExt) { m_defaultExt = defaultExt; }
    void accept() override
    {
        const QStringList typed = selectedFiles();
        if (acceptMode() == AcceptOpen && typed.size() == 1) {
            const QString name = QtFileDialog::openedName(typed.constFirst(), m_defaultExt);
            if (name != typed.constFirst())
                selectFile(name);
        }
        QFileDialog::accept();
    }
    void done(int result) override
    {
        // The name completion's list may still be up after Return: it would
        // stay over the window, holding the keyboard, once the dialog is gone.
        for (QCompleter *completer : findChildren<QCompleter *>()) {
            if (completer->popup())
                completer->popup()->hide();
        }
        QFileDialog::done(result);
    }

  private:
    QString m_defaultExt;
};

int QtFileDialog::chosenFilter(const QStringList &filters, const QString &selected)
{
    if (const qsizetype exact = filters.indexOf(selected); exact >= 0)
        return int(exact);
    // With the details hidden, Qt answers with what it shows: the entry
    // without its last parentheses, which hold the patterns.
    for (qsizetype i = 0; i < filters.size(); ++i) {
        const QString &entry = filters.at(i);
        if (entry.left(entry.lastIndexOf(QLatin1String(" ("))) == selected)
            return int(i);
    }
    return -1;
}

QtFileDialog::QtFileDialog(QWidget *parent) : m_parent(parent) {}

QtFileDialog::~QtFileDialog() = default;

int QtFileDialog::filterEntry(int filterIndex, int entries)
{
    if (entries <= 0)
        return 0;
    return std::clamp(filterIndex - 1, 0, entries - 1);
}

bool QtFileDialog::ShowOpen()
{
    return show(false);
}

bool QtFileDialog::ShowSave()
{
    return show(true);
}

bool QtFileDialog::show(bool save)
{
    const QStringList filters = nameFilters(Filter);
    // One dialog for opening and one for saving, made once and kept: a new
    // QFileDialog makes a new model, icon set and cached pixmaps each time,
    // and the program would grow with every transfer. A dialog that has
    // nothing to start from is made afresh, so no earlier typing shows.
    std::unique_ptr<Dialog> &kept = m_dialogs[save ? 1 : 0];
    const bool reused = kept && !FileName.isEmpty();
    if (!reused) {
        kept = std::make_unique<Dialog>(m_parent);
        kept->setOption(QFileDialog::HideNameFilterDetails);
        kept->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        // Room for names, sizes and dates at the desktop's font.
        kept->resize(kept->size().expandedTo(textSize(*kept, 100, 28)));
    }
    Dialog &dialog = *kept;
    dialog.setWindowTitle(DialogTitle);
    dialog.setDefaultExt(DefaultExt);
    dialog.setFileMode((Flags & cdlOFNFileMustExist) ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
    if (save) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !(Flags & cdlOFNOverwritePrompt));
        QString suffix = DefaultExt;
        if (suffix.startsWith(QLatin1Char('.')))
            suffix.remove(0, 1);
        dialog.setDefaultSuffix(suffix);
    }
    if (dialog.nameFilters() != filters) // setting them again costs memory each time
        dialog.setNameFilters(filters);
    if (!filters.isEmpty())
        dialog.selectNameFilter(filters.at(filterEntry(FilterIndex, int(filters.size()))));
    // Hidden, a kept dialog's model would go on watching its folder, and
    // read it again for every change a receive makes there. It watches only
    // while shown; what it has read and remembers stays.
    const auto watchFolder = [&dialog](bool watch) {
        for (QFileSystemModel *model : dialog.findChildren<QFileSystemModel *>())
            model->setOption(QFileSystemModel::DontWatchForChanges, !watch);
    };
    watchFolder(true);
    const QString folder = FileName.isEmpty() ? QDir::homePath() : QFileInfo(FileName).absolutePath();
    if (reused) {
        // A folder is read afresh (and watched again) when it is entered
        // anew: what changed in it while the dialog was hidden shows. The
        // step aside stays out of the dialog's history.
        const QStringList history = dialog.history();
        dialog.setDirectory(QDir::rootPath());
        dialog.setDirectory(folder);
        dialog.setHistory(history);
    } else {
        dialog.setDirectory(folder);
    }
    if (!FileName.isEmpty())
        dialog.selectFile(QFileInfo(FileName).fileName());

    const bool accepted = dialog.exec() == QDialog::Accepted;
    watchFolder(false);
    if (!accepted || dialog.selectedFiles().isEmpty())
        return false;
    // A name that is not UTF-8 comes back with U+FFFD for its bytes.
    FileName = FileNames::fromDialog(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
    const int chosen = chosenFilter(filters, dialog.selectedNameFilter());
    if (chosen >= 0)
        FilterIndex = int(chosen) + 1;
    return true;
}
