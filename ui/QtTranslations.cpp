#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

bool LoadQtRussian(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  if (!translator->load(QLocale(QLocale::Russian), "qtbase", "_", QtTranslationsDir())) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}
