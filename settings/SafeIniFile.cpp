#include "SafeIniFile.h"

#include "IniContent.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>

namespace {

bool readAll(const QString &path, QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    content = file.readAll();
    return file.error() == QFileDevice::NoError;
}

} // namespace

SafeIniFile::SafeIniFile(const QString &path, QTextCodec *codec)
    : m_path(path)
{
    QByteArray content;
    if (!readAll(path, content))
        return;
    const QByteArray kept = IniContent::withoutUnsafeValues(content, codec);
    if (kept.size() == content.size())
        return;
    m_copy.reset(new QTemporaryFile);
    if (m_copy->open() && m_copy->write(kept) == kept.size() && m_copy->flush()) {
        m_path = m_copy->fileName();
        return;
    }
    // Better no settings than settings that abort the program.
    m_copy.reset();
    m_path.clear();
}

SafeIniFile::~SafeIniFile() = default;

bool SafeIniFile::cleanInPlace(const QString &path)
{
    QByteArray content;
    if (!readAll(path, content))
        return true;
    const QByteArray kept = IniContent::withoutUnsafeValues(content);
    if (kept.size() == content.size())
        return true;
    // Replaced whole or not at all: a record cut short would lose entries.
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(kept) == kept.size() && file.commit();
}
