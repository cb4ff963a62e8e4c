// Qt's translations where the system's Qt keeps them (Debian: qt6-translations-l10n).
#include <QLibraryInfo>

#include "QtTranslations.h"

QString QtTranslationsDir() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }
