#ifndef TRANSLATIONS_H
#define TRANSLATIONS_H

class QCoreApplication;

// Installs the translation of what the screen shows into the device's
// language (QLocale::system(): LANGUAGE, LC_ALL, LC_MESSAGES or LANG as the
// platform sets them), compiled into the app, and Qt's own for its
// standard buttons where the system has it. Lines of the output area and of
// the log are never translated, so that support can read any till's log.
void installTranslations(QCoreApplication *app);

#endif // TRANSLATIONS_H
