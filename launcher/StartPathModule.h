#pragma once

// Runs orvalinStartPath(). On Windows it is linked into the executable, as
// all of a static Qt is. On Linux it lives in the splash's module beside the
// executable, with everything of Qt Gui and Widgets behind it: the launchers
// that only end at once or hand off load Qt Core alone.
namespace StartPathModule {

// What orvalinStartPath() returns; when the module cannot be loaded, 1, with
// the reason on standard error.
int run(int &argc, char **argv);

} // namespace StartPathModule
