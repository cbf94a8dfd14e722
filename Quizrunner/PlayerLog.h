#pragma once
// The player's log: what went wrong without the pupil being asked anything
// (the answers journal not written, for one). One UTF-8 line per event,
// "yyyy-MM-dd HH:mm:ss text", appended to Quizrunner.log in this account's
// state folder ($XDG_STATE_HOME/quizengine2, private to the account) and
// written to standard error.
#include <QString>

namespace PlayerLog {
QString Path();
void Write(const QString &text);
}

// The system configuration of the player: Quizrunner.ini in the system
// configuration folder (<sysconfdir>/quizengine2, or $QE_SYSTEM_CONFIG_DIR
// for tests). Only what a school switches for all its pupils lives there.
namespace PlayerConfig {
QString SystemDir();
QString FilePath();
// [AnswersJournal] Write=false switches the answers journal off; it is on
// without the file or the key.
bool AnswersJournalEnabled();
}
