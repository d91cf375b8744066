#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void installTranslations(QCoreApplication *app)
{
    const QLocale locale = QLocale::system();
    auto *own = new QTranslator(app);
    if (own->load(locale, QStringLiteral("varnolet"), QStringLiteral("_"),
                  QStringLiteral(":/translations")))
        app->installTranslator(own);
    auto *qt = new QTranslator(app);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        app->installTranslator(qt);
}
