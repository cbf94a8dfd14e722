#pragma once
// The fontconfig aliases that draw the Windows fonts named in tests with
// installed fonts of the same metrics. The file lies beside the programs.
#include <QString>

namespace FontAliases {
inline const QString FileName = QStringLiteral("quizengine2-fonts.conf");
// Adds the aliases of programDir's file to the running font configuration;
// false when there is no such file or fontconfig refused it. Call before the
// first text is laid out.
bool Load(const QString &programDir);
// Whether the family is one this computer has, not a stand-in for it.
bool IsInstalled(const QString &family);
}
