#pragma once

#include "MiniHttpServer.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class FakeElevation;

// What the tests of the update session and of the two update dialogs share.
namespace UpdateTest {

HttpResponse answer(const QByteArray &body, int status = 200);
// The update service's answer offering the installer at `url`.
HttpResponse offerAnswer(const QString &url, const QString &version = QStringLiteral("9"),
                         const QString &notes = QString());

// An installer that records its start (FakeElevation), padded with comment
// lines behind its commands to `size` bytes, so that it arrives in many chunks.
QByteArray paddedInstaller(const FakeElevation &elevation, int size);

// The per-user configuration of a test executable in a temporary folder
// (XDG_CONFIG_HOME), so the default installer folder lies inside it.
class ConfigFolder
{
public:
    ConfigFolder();

    // The folder was made and the installer folder lies inside it.
    bool isValid() const;
    // Removes the default installer folder with whatever is in it and creates
    // it empty again.
    bool resetInstallerFolder() const;

private:
    QTemporaryDir m_dir;
};

} // namespace UpdateTest
