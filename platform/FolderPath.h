#pragma once

class QString;

namespace FolderPath {

// `folder` followed by the system's path separator and `fileName`. The folder
// text is used exactly as given: no separator is normalised, and one that
// already ends the folder stays (so it is doubled). On Windows the separator
// is a backslash, as the shell expects it after a folder typed by hand; on
// other systems, where a backslash is an ordinary character, it is "/".
QString join(const QString &folder, const QString &fileName);

// Whether `folder` is an existing folder, named by an absolute path, in which
// no one but the user can put, rename or remove entries, so that a file the
// user keeps there stays the user's. On Windows the user, the Administrators
// and SYSTEM may; no one else may create or delete entries, change the
// folder's access list or take it over. Elsewhere the folder must be the
// user's own and not writable by group or others unless its sticky bit is
// set; and since whoever can write a folder above it could move it aside and
// put another in its place, so must be every folder on its way from the root
// (root's own folders count as safe), both as written and with links resolved.
bool onlyUserCanChange(const QString &folder);

} // namespace FolderPath
