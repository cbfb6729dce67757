#pragma once

#include "FileDialog.h"

#include <QStringList>

#include <memory>

class QWidget;

// The file dialog on QFileDialog. The filter text "label|pattern|..." becomes
// Qt's name filters, each shown by its label exactly ("All Files (*.*)");
// "*.*" is widened to "*" so that names without an extension are listed too,
// as the label "All Files" promises. DefaultExt is added to a name typed
// without one, when saving, and when opening if only the name with it exists.
class QtFileDialog final : public FileDialog
{
  public:
    explicit QtFileDialog(QWidget *parent);
    ~QtFileDialog() override;

    bool ShowOpen() override;
    bool ShowSave() override;

    // Qt name filters for a filter text: the label, then the patterns in the
    // parentheses Qt reads them from, hidden when shown. Exposed for tests.
    static QStringList nameFilters(const QString &filter);
    // The file to open for a typed path: with the default extension added
    // when the path has none and only the name with it exists.
    static QString openedName(const QString &typed, const QString &defaultExt);
    // The 0-based entry of filters that Qt's selectedNameFilter() names, or -1.
    static int chosenFilter(const QStringList &filters, const QString &selected);
    // The 0-based entry that a 1-based FilterIndex selects (0 selects the first).
    static int filterEntry(int filterIndex, int entries);

  private:
    class Dialog;
    bool show(bool save);
    QWidget *m_parent;
    std::unique_ptr<Dialog> m_dialogs[2]; // opening, saving
};
