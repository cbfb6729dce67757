#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

Translations::Translations(const QLocale &locale)
{
    m_qtLoaded = m_qt.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (m_qtLoaded)
        QCoreApplication::installTranslator(&m_qt);
    m_ownLoaded = m_own.load(locale, QStringLiteral("zo-vovere"), QStringLiteral("_"),
                             QStringLiteral(":/i18n"));
    if (m_ownLoaded)
        QCoreApplication::installTranslator(&m_own);
}

Translations::~Translations()
{
    if (m_ownLoaded)
        QCoreApplication::removeTranslator(&m_own);
    if (m_qtLoaded)
        QCoreApplication::removeTranslator(&m_qt);
}
