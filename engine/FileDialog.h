#pragma once

#include <QString>

// The file dialog shared by the send and receive starts, as a set of
// properties that the start fills in before showing it.
//
// Filter is "label|pattern|label|pattern..."; FilterIndex is 1-based (0
// selects the first entry) and holds the chosen entry after a confirmed
// dialog. FileName is the initial name going in and the chosen full path
// coming out.
class FileDialog
{
  public:
    static constexpr int cdlOFNOverwritePrompt = 0x2;
    static constexpr int cdlOFNHideReadOnly = 0x4;
    static constexpr int cdlOFNFileMustExist = 0x1000;

    virtual ~FileDialog() = default;

    // Modal. True when the user confirmed a name, false on Cancel.
    virtual bool ShowOpen() = 0;
    virtual bool ShowSave() = 0;

    int Flags = 0;
    QString FileName;
    QString DialogTitle;
    QString Filter = QStringLiteral("Text files (*.txt)|*.txt|All Files (*.*)|*.*");
    int FilterIndex = 0;
    QString DefaultExt = QStringLiteral(".txt");
};
