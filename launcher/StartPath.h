#pragma once

// The start path, for a launcher that found neither another launcher of its
// file nor a running converter: the application object from the command line
// (so Qt's own options apply), the splash, the pid record and the
// converter's restart, then the event loop. Returns main's exit code.
//
// A plain C name: on Linux it is what the executable looks up in the splash's
// module, which it loads only for this path.
extern "C" int orvalinStartPath(int *argc, char **argv);
