#include "SharedSegment.h"

#include <QSharedMemory>

namespace SharedSegment {

bool isOrphaned(const QSharedMemory &)
{
    // A named file mapping ends with the last handle to it, so an attachable
    // segment always has a living holder.
    return false;
}

} // namespace SharedSegment
