#include "ConfigLocation.h"

#include <QDir>
#include <QFileInfo>

#include "QuizEngineCommon.h"

namespace ConfigLocation {

QString SystemDir()
{
    return QStringLiteral(QE_SYSCONF_DIR);
}

QString Find(const QString &programDir, const QString &systemDir)
{
    const QString own = QDir(programDir).filePath(ConfigFileName);
    if (QFileInfo::exists(own) || systemDir.isEmpty())
        return own;
    const QString system = QDir(systemDir).filePath(ConfigFileName);
    return QFileInfo::exists(system) ? system : own;
}

}  // namespace ConfigLocation
