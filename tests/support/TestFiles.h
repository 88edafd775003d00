#pragma once

#include <QByteArray>
#include <QString>

// Whole files in one call, for tests that set up or look at what a program
// reads and writes.
namespace TestFiles {

// The file's bytes; empty when it cannot be read (compare with something
// non-empty, or check that the file exists, to tell the two apart).
QByteArray readFile(const QString &path);

// Writes `content` as the whole file, creating its folder; false unless all
// of it was written.
bool writeFile(const QString &path, const QByteArray &content);

// Copies a program or any other file to `to`, creating its folder; a program
// stays runnable by its owner.
bool copyFile(const QString &from, const QString &to);

} // namespace TestFiles
