#include "FontAliases.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <fontconfig/fontconfig.h>

namespace FontAliases {

bool Load(const QString &programDir)
{
    const QString path = QDir(programDir).filePath(FileName);
    if (!QFileInfo(path).isFile())
        return false;
    FcConfig *config = FcConfigGetCurrent();
    if (!config)
        return false;
    const QByteArray name = QFile::encodeName(path);
    return FcConfigParseAndLoad(config, reinterpret_cast<const FcChar8 *>(name.constData()), FcFalse) == FcTrue;
}

bool IsInstalled(const QString &family)
{
    return QFontDatabase::hasFamily(family) && !QFontDatabase::isPrivateFamily(family);
}

}  // namespace FontAliases
