#pragma once

#include "TransferEngine.h"

#include <QString>

class SettingsStore;

// What the window keeps in the settings store: the selected port, the files
// last sent and received, and the port mapping written out for the user.
namespace WindowSettings {

struct Loaded
{
    bool com1 = false; // "Com 1" selected; otherwise "Com 2"
    RememberedValues remembered;
};

// At start: damaged values read as their defaults.
Loaded load(const SettingsStore &store);
// The message said once at start when the store cannot keep anything, or
// empty.
QString unwritableMessage(const SettingsStore &store);
// The port choice, written when it is made.
void storePortChoice(SettingsStore &store, bool com1);
// At unload: the remembered files, and the port mapping where it is missing
// (Port Settings writes it when it changes, and a value read long ago must
// not overwrite a newer one).
void storeAtUnload(SettingsStore &store, const RememberedValues &remembered);

} // namespace WindowSettings
