#pragma once

class QByteArray;
class QTextCodec;

// QSettings turns an INI value (or an element of a comma-separated list value)
// of the form @Variant(...) or @DateTime(...) back into a QVariant by running
// QDataStream over its bytes, and it does so for every entry of a file it
// reads or merges. A damaged or hostile one makes Qt allocate without bound
// and abort, or recurse until the stack runs out. Such entries are taken out
// before QSettings sees the text; every other entry, a value QSettings itself
// stored through QDataStream included, stays exactly as it was.
namespace IniContent {

// `content` without the entries whose value QSettings would decode through
// QDataStream unless the decoding provably stays within the bytes given:
// only known types, counts and lengths that fit, bounded nesting. `codec` is
// the one QSettings reads the file with (none: Latin-1). Every byte outside a
// removed entry is kept.
QByteArray withoutUnsafeValues(const QByteArray &content, QTextCodec *codec = nullptr);

// True when a QVariant can be read from `data` (a QDataStream of `version`)
// without reading past its end, meeting a type it does not know or nesting
// deeper than any settings value does.
bool isSafeVariantStream(const QByteArray &data, int version);

} // namespace IniContent
