#include "SharedSegment.h"

#include <QFile>
#include <QSharedMemory>

#include <sys/ipc.h>
#include <sys/shm.h>

namespace SharedSegment {

bool isOrphaned(const QSharedMemory &segment)
{
    if (!segment.isAttached())
        return false;
    // QSharedMemory's System V backend derives the segment's key with ftok()
    // from its native key file and the project id 'Q'.
    const key_t key = ::ftok(QFile::encodeName(segment.nativeKey()).constData(), 'Q');
    if (key == key_t(-1))
        return false;
    const int id = ::shmget(key, 0, 0);
    if (id == -1)
        return false;
    struct shmid_ds info;
    if (::shmctl(id, IPC_STAT, &info) == -1)
        return false;
    return info.shm_nattch <= 1;
}

} // namespace SharedSegment
