#pragma once

#include "FileDialog.h"

#include <QStringList>

class QWidget;

// The file dialog on QFileDialog. The filter text "label|pattern|..." becomes
// Qt's name filters; "*.*" is widened to "*" so that names without an
// extension are listed too, as the label "All Files" promises.
class QtFileDialog final : public FileDialog
{
  public:
    explicit QtFileDialog(QWidget *parent) : m_parent(parent) {}

    bool ShowOpen() override;
    bool ShowSave() override;

    // Qt name filters for a filter text; exposed for tests.
    static QStringList nameFilters(const QString &filter);
    // The 0-based entry that a 1-based FilterIndex selects (0 selects the first).
    static int filterEntry(int filterIndex, int entries);

  private:
    bool show(bool save);
    QWidget *m_parent;
};
