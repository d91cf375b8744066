#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void installTranslations(QCoreApplication *app)
{
    const QLocale locale = QLocale::system();
    auto *own = new QTranslator(app);
    // English where the device's language has no catalogue: the sources
    // are English, but their plural forms come from the English one.
    if (own->load(locale, QStringLiteral("varnolet"), QStringLiteral("_"),
                  QStringLiteral(":/translations"))
        || own->load(QStringLiteral("varnolet_en"), QStringLiteral(":/translations")))
        app->installTranslator(own);
    auto *qt = new QTranslator(app);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        app->installTranslator(qt);
}
