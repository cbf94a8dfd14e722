#pragma once
// Where the editor reads its configuration file: beside its program, as a copy
// run from its own folder has it; when the file is not there, in the system
// configuration folder of an installed copy.
#include <QString>

namespace ConfigLocation {
// <sysconfdir>/quizengine2 as configured when the editor was built.
QString SystemDir();
// programDir/KMQuizEngine2.ini when anything of that name is there (a damaged
// or unreadable file is reported, not passed over), else systemDir's file when
// that exists, else programDir's again, so that the error names the usual place.
QString Find(const QString &programDir, const QString &systemDir = SystemDir());
}
