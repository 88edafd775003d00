#pragma once

class QString;

namespace FolderPath {

// `folder` followed by the system's path separator and `fileName`. The folder
// text is used exactly as given: no separator is normalised, and one that
// already ends the folder stays (so it is doubled). On Windows the separator
// is a backslash, as the shell expects it after a folder typed by hand; on
// other systems, where a backslash is an ordinary character, it is "/".
QString join(const QString &folder, const QString &fileName);

} // namespace FolderPath
