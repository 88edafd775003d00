#pragma once

#include <QString>

// The program's per-user files lie beside its writable configuration location
// (QStandardPaths::AppConfigLocation), whose last part is the executable's
// base name: "orvalinpdfLaunch" for the launcher. The converter's folders are
// found by dropping the last six characters of that location (the "Launch" of
// the launcher's name) and appending their own names, so the launcher and the
// converter meet in the same place.
namespace UserFolders {

// `configLocation` less its last six characters; a location shorter than that
// is kept whole. Every character counts, a separator too.
QString base(const QString &configLocation);

// base() of this process's writable configuration location.
QString base();

} // namespace UserFolders
