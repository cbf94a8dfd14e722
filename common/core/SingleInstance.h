#pragma once
// The single-instance guard: one player per user session, as a named mutex
// of the session would give, not one per computer.
#include <QString>

// The file the guard for name locks: <name>.lock in the user's runtime folder
// ($XDG_RUNTIME_DIR) when that is a folder of this user that no one else may
// write into; otherwise <name>-<uid>.lock in the temporary folder.
QString InstanceLockPath(const QString &name);

// Holds an flock on InstanceLockPath(name) for the life of the process; true
// when another process already holds it. A link, a file that is not a regular
// file, or a file of another user under that name is not ours to trust: the
// guard then answers false rather than keep the examinee out.
bool IsAlreadyRunning(const QString &name);
