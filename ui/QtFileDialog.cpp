#include "QtFileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

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

namespace {
// Opening "small" opens small.txt when only that exists, as saving "small"
// saves small.txt.
class Dialog : public QFileDialog
{
  public:
    Dialog(QWidget *parent, const QString &title, QString defaultExt)
        : QFileDialog(parent, title), m_defaultExt(std::move(defaultExt))
    {
    }
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

  private:
    QString m_defaultExt;
};
} // namespace

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
    Dialog dialog(m_parent, DialogTitle, DefaultExt);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode((Flags & cdlOFNFileMustExist) ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
    if (save) {
        if (!(Flags & cdlOFNOverwritePrompt))
            dialog.setOption(QFileDialog::DontConfirmOverwrite);
        QString suffix = DefaultExt;
        if (suffix.startsWith(QLatin1Char('.')))
            suffix.remove(0, 1);
        dialog.setDefaultSuffix(suffix);
    }
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.at(filterEntry(FilterIndex, int(filters.size()))));
    }
    if (!FileName.isEmpty()) {
        const QFileInfo initial(FileName);
        dialog.setDirectory(initial.absolutePath());
        dialog.selectFile(initial.fileName());
    } else {
        dialog.setDirectory(QDir::homePath());
    }

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    FileName = QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    const qsizetype chosen = filters.indexOf(dialog.selectedNameFilter());
    if (chosen >= 0)
        FilterIndex = int(chosen) + 1;
    return true;
}
