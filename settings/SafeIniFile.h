#pragma once

#include <QString>

#include <memory>

class QTemporaryFile;
class QTextCodec;

// An INI file that QSettings may open without decoding a damaged value (see
// IniContent). The program reads config.ini and convert.ini but never writes
// them: those are read through a private copy without the unsafe entries
// when they hold any. The pid record it writes itself is cleaned in place.
class SafeIniFile
{
public:
    // For reading `path` with QSettings set to `codec` (none: QSettings' own).
    explicit SafeIniFile(const QString &path, QTextCodec *codec = nullptr);
    ~SafeIniFile();

    SafeIniFile(const SafeIniFile &) = delete;
    SafeIniFile &operator=(const SafeIniFile &) = delete;

    // The file to hand to QSettings: `path` itself, or the cleaned copy,
    // which lives as long as this object.
    QString path() const { return m_path; }

    // Removes the unsafe entries from the file at `path` itself, keeping every
    // other byte. A missing file is left missing. False when the file holds
    // unsafe entries and could not be rewritten.
    static bool cleanInPlace(const QString &path);

private:
    QString m_path;
    std::unique_ptr<QTemporaryFile> m_copy;
};
