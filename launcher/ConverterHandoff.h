#pragma once

class QSharedMemory;

// The signal a starting launcher leaves for a converter that already runs:
// byte 0 of the converter's shared memory segment "pdfconvertersm" becomes
// the digit nine (0x39).
class ConverterHandoff
{
public:
    // Attaches `segment` for reading and writing when a converter holds it.
    // A segment that only outlived a crashed converter does not count: it is
    // detached again, which removes it, and false is returned.
    static bool attachToRunningConverter(QSharedMemory &segment);

    // Writes the signal under the segment's lock. Without the lock, or into a
    // segment too small for it, nothing is written.
    static void send(QSharedMemory &segment);
};
