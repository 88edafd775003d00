#include "ApplicationName.h"

#include <QFileInfo>
#include <QString>
#include <QVarLengthArray>

#include <windows.h>

namespace ApplicationName {

void followExecutableFile()
{
    // Qt already names the application after its executable file here.
}

QString executableFilePath()
{
    // What applicationFilePath() does on Windows: the module's file name,
    // which may exceed MAX_PATH, with "/" separators.
    QVarLengthArray<wchar_t, MAX_PATH + 1> space;
    DWORD length = 0;
    DWORD size = 0;
    do {
        size += MAX_PATH;
        space.resize(int(size));
        length = ::GetModuleFileNameW(nullptr, space.data(), size);
    } while (length >= size && size < 32768);
    if (length == 0 || length >= size)
        return QString();
    return QFileInfo(QString::fromWCharArray(space.data(), int(length))).filePath();
}

} // namespace ApplicationName
