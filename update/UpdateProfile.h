#pragma once

#include "UpdateOffer.h"

#include <QString>

#include <functional>

// What one update dialog makes of the shared exchange and download: its own
// values and its own reactions. Callbacks left empty do nothing.
struct UpdateProfile
{
    // The file that is removed before a download, receives the installer's
    // bytes and is started elevated when the download has completed.
    QString installerFile;
    // Working directory of the elevated start; may be empty.
    QString workingDirectory;
    // Bytes per progress step (the progress value is written bytes / divisor).
    int progressDivisor = 1;
    // Progress text; "%d" is replaced by the progress value ("%d%", "%d").
    QString progressFormat = QStringLiteral("%d");

    // A download is starting (its URL passed the checks).
    std::function<void()> startDisplay;
    // A chunk was stored: the progress value and its formatted text.
    std::function<void(int value, const QString &text)> chunkDisplay;
    // The download completed; shown before the elevated start.
    std::function<void()> completionDisplay;
    // After the elevated start was requested.
    std::function<void()> endDisplay;

    // Reactions to a finished reply. A download that cannot be stored
    // completely counts as failed (network) as well.
    std::function<void()> failedNetwork;
    std::function<void()> failedStatus;
    std::function<void()> noOffer;
    // `downloadurl` has already been replaced when this runs.
    std::function<void(const UpdateOffer &offer)> offer;
};
