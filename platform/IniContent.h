#pragma once

class QByteArray;
class QString;

// QSettings turns an INI value of the form @Variant(...) back into a QVariant
// by running QDataStream over the bytes, and a damaged or hostile one makes Qt
// allocate without bound and abort. None of the files this program reads or
// merges (config.ini, convert.ini, lunach.ini) ever holds such a value, so one
// that might is treated as damaged before QSettings sees it.
namespace IniContent {

// True when QSettings could decode a value of `content` through QDataStream.
// It errs on the safe side: the escapes, quotes and continuation lines that
// QSettings unescapes are taken into account, keys and comments too.
bool mayHoldSerializedVariant(const QByteArray &content);

// The same for the file at `path`; a missing or unreadable file holds none.
bool fileMayHoldSerializedVariant(const QString &path);

} // namespace IniContent
