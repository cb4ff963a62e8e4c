// Qt's translations in the folder "translations" beside the program, as the
// Windows package carries them.
#include <QCoreApplication>
#include <QDir>

#include "QtTranslations.h"

QString QtTranslationsDir() { return QDir(QCoreApplication::applicationDirPath()).filePath("translations"); }
