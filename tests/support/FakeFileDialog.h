#pragma once

#include "FileDialog.h"

#include <functional>

// A dialog that answers with what the test prepared and remembers what the
// engine set before showing it.
class FakeFileDialog final : public FileDialog
{
  public:
    bool ShowOpen() override { return answer(true); }
    bool ShowSave() override { return answer(false); }

    QString choose;        // the path the user picks; empty: the user cancels
    int chooseFilter = -1; // the filter entry the user leaves selected (-1: as given)
    int shown = 0;
    bool lastWasOpen = false;
    // What was set when the dialog was shown.
    int flagsShown = 0;
    int filterIndexShown = 0;
    QString fileNameShown, titleShown, filterShown;
    std::function<void()> onShow; // runs while the dialog is shown

  private:
    bool answer(bool open)
    {
        ++shown;
        lastWasOpen = open;
        flagsShown = Flags;
        filterIndexShown = FilterIndex;
        fileNameShown = FileName;
        titleShown = DialogTitle;
        filterShown = Filter;
        if (onShow)
            onShow();
        if (choose.isEmpty())
            return false;
        FileName = choose;
        if (chooseFilter >= 0)
            FilterIndex = chooseFilter;
        return true;
    }
};
