#pragma once

#include "base/Result.h"
#include "config/AppPaths.h"

namespace brevant::drill {

// The drill never writes the user's own files: it works on a copy.

// Copies the settings, CloseApp.ini and both databases of `from` that exist into the directories
// of `to`. The databases are copied through SQLite (VACUUM INTO), so that a monitor writing them
// at the same moment cannot tear the copy. A directory that cannot be read, or a settings file or
// list that cannot (not a regular file, too large, no access), is a failure: a drill on settings
// it could not see would tell of a monitor that does nothing.
Status copyUserFiles(const AppPaths& from, const AppPaths& to);

// Leaves the copy's final settings and databases in dir (created if needed), replacing files of
// the same names there. The databases must be closed.
Status keepResults(const AppPaths& copy, const QString& dir);

} // namespace brevant::drill
