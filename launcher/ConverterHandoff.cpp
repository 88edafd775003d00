#include "ConverterHandoff.h"

#include "SharedSegment.h"

#include <QSharedMemory>
#include <QtGlobal>

#include <cstdio>
#include <cstring>

bool ConverterHandoff::attachToRunningConverter(QSharedMemory &segment)
{
    if (!segment.attach(QSharedMemory::ReadWrite))
        return false;
    if (SharedSegment::isOrphaned(segment)) {
        segment.detach();
        return false;
    }
    return true;
}

void ConverterHandoff::send(QSharedMemory &segment)
{
    char text[1024] = {};
    std::snprintf(text, sizeof text, "%d", 9);
    const int length = int(std::strlen(text));

    // Writing without the lock could tear a byte the converter is clearing.
    if (!segment.lock())
        return;
    const int count = qMin(length, segment.size());
    if (count > 0 && segment.data())
        std::memcpy(segment.data(), text, size_t(count));
    segment.unlock();
}
