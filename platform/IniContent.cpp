#include "IniContent.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace IniContent {

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

// The text QSettings makes of `content` when it unescapes values: escapes
// resolved (a numeric escape takes every digit that follows and keeps the low
// 16 bits, an unknown escape drops its character, an escaped line break joins
// the lines) and quotes dropped. Bytes stand for themselves: the codecs used
// here decode no multi-byte sequence to an ASCII character.
QString unescaped(const QByteArray &content)
{
    QString text;
    text.reserve(content.size());
    const int size = content.size();
    int i = 0;
    while (i < size) {
        const char c = content.at(i++);
        if (c == '"')
            continue;
        if (c != '\\') {
            text += QLatin1Char(c);
            continue;
        }
        if (i >= size)
            break;
        const char e = content.at(i++);
        switch (e) {
        case 'a': text += QLatin1Char('\a'); break;
        case 'b': text += QLatin1Char('\b'); break;
        case 'f': text += QLatin1Char('\f'); break;
        case 'n': text += QLatin1Char('\n'); break;
        case 'r': text += QLatin1Char('\r'); break;
        case 't': text += QLatin1Char('\t'); break;
        case 'v': text += QLatin1Char('\v'); break;
        case '"':
        case '?':
        case '\'':
        case '\\': text += QLatin1Char(e); break;
        case 'x':
            if (i < size && isHexDigit(content.at(i))) {
                uint value = 0;
                while (i < size && isHexDigit(content.at(i)))
                    value = (value << 4) + uint(hexValue(content.at(i++)));
                text += QChar(ushort(value));
            }
            break;
        case '\n':
        case '\r':
            if (i < size && (content.at(i) == '\n' || content.at(i) == '\r') && content.at(i) != e)
                ++i;
            break;
        default:
            if (e >= '0' && e <= '7') {
                uint value = uint(e - '0');
                while (i < size && content.at(i) >= '0' && content.at(i) <= '7')
                    value = (value << 3) + uint(content.at(i++) - '0');
                text += QChar(ushort(value));
            }
            // Any other escaped character is dropped.
            break;
        }
    }
    return text;
}

} // namespace

bool mayHoldSerializedVariant(const QByteArray &content)
{
    // Cheap way out for the usual file: every form of the marker needs an '@'
    // or an escape that can make one.
    if (!content.contains('@') && !content.contains('\\'))
        return false;
    // QSettings decodes a value that starts with the marker; "@@" at the
    // start escapes a value that only looks like one.
    const QString text = unescaped(content);
    const QLatin1String marker("@Variant(");
    for (int at = text.indexOf(marker); at != -1; at = text.indexOf(marker, at + 1)) {
        if (at == 0 || text.at(at - 1) != QLatin1Char('@'))
            return true;
    }
    return false;
}

bool fileMayHoldSerializedVariant(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return mayHoldSerializedVariant(file.readAll());
}

} // namespace IniContent
