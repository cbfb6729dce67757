#pragma once

#include <QLocale>
#include <QTranslator>

// The window's words in the user's language, while this object lives: the
// program's own catalogue (built into the program) and Qt's, for its
// dialogs and buttons, from Qt's translations folder. Without a catalogue of
// the program's for the language (English, C) its words stay as written.
class Translations
{
  public:
    explicit Translations(const QLocale &locale = QLocale());
    ~Translations();
    Translations(const Translations &) = delete;
    Translations &operator=(const Translations &) = delete;

    // The program's own catalogue was found for the language.
    bool found() const { return m_ownLoaded; }

  private:
    QTranslator m_own;
    QTranslator m_qt;
    bool m_ownLoaded = false;
    bool m_qtLoaded = false;
};
