// Qt's own texts in Russian, like the rest of the tool: the file dialogs'
// "Look in", "File name", "Save", "Cancel", the edit fields' context menus.
// The translations come from the folder each system keeps them in
// (QtTranslationsDirPosix.cpp, QtTranslationsDirWin32.cpp).
#pragma once

#include <QString>

class QCoreApplication;

// Where Qt's translation files (qtbase_ru.qm) are on this system.
QString QtTranslationsDir();

// Installs Qt's Russian translations into `app`; false when they are not there
// (the texts stay English, nothing else changes).
bool LoadQtRussian(QCoreApplication& app);
