#pragma once

#include "SettingsStore.h"

#include <QSettings>

// The store on disk: QSettings with organisation and application "ZO Vovere",
// on Linux $XDG_CONFIG_HOME/ZO Vovere/ZO Vovere.conf with one group a section.
class QSettingsStore final : public SettingsStore
{
  public:
    static constexpr const char *kOrganisation = "ZO Vovere";
    static constexpr const char *kApplication = "ZO Vovere";

    QSettingsStore();
    // A store in a file of its own, for tools and tests.
    explicit QSettingsStore(const QString &iniPath);

    QString read(const QString &section, const QString &key,
                 const QString &defaultValue) const override;
    void write(const QString &section, const QString &key, const QString &value) override;
    QString unwritablePlace() const override;

    QString fileName() const { return m_settings.fileName(); }

  private:
    mutable QSettings m_settings;
};
