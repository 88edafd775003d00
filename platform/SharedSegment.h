#pragma once

class QSharedMemory;

namespace SharedSegment {

// True when `segment` is attached but no other process holds it: its creator
// is gone and only this process keeps it alive. A System V segment outlives a
// creator that crashed; detaching the last attachment removes it. Where named
// segments vanish with their last handle this is never the case.
bool isOrphaned(const QSharedMemory &segment);

} // namespace SharedSegment
