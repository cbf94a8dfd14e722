#include "SystemTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallSystemTranslations()
{
    // The programs speak Russian whatever the desktop's locale is.
    auto *tr = new QTranslator(QCoreApplication::instance());
    if (!tr->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                  QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete tr;
        return false;
    }
    QCoreApplication::installTranslator(tr);
    return true;
}
