#pragma once

class QString;

// Ending and starting the converter process: on Windows through the process
// API and the shell's open action; elsewhere the same effect is reached
// directly.
namespace ConverterProcess {

// Ends every process of the current user whose executable image is
// `imageName`; returns once they are gone.
void killByImageName(const QString &imageName);

// Starts the converter executable at `executablePath` without waiting for it.
void start(const QString &executablePath);

} // namespace ConverterProcess
