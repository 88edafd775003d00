#include "IniContent.h"

#include <QByteArray>
#include <QDataStream>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTextCodec>
#include <QVector>

#include <algorithm>

namespace IniContent {

namespace {

// ---- What QDataStream would read ------------------------------------------

// Walks a serialized QVariant the way QVariant::load reads it, without
// building anything. Everything not understood counts as unsafe.
class VariantWalker
{
public:
    VariantWalker(const QByteArray &data, int version)
        : m_data(data)
        , m_version(version)
    {}

    bool variant(int depth)
    {
        if (depth > kMaxDepth)
            return false;
        quint32 type = 0;
        if (!u32(type))
            return false;
        if (m_version < QDataStream::Qt_5_0) {
            // Type ids as Qt 4 numbered them.
            if (type == 127)
                type = kUserType;
            else if (type >= 128 && type != kUserType)
                type -= 97;
            else if (type == 75)
                type = 121; // QSizePolicy
            else if (type > 75 && type <= 86)
                type -= 1;
        }
        if (m_version >= QDataStream::Qt_4_2 && !skip(1)) // is-null flag
            return false;
        if (type == 0) {
            // An invalid variant; older streams still carry an empty string.
            return m_version >= QDataStream::Qt_5_0 || string();
        }
        return value(type, depth);
    }

private:
    static constexpr int kMaxDepth = 32;
    static constexpr quint32 kUserType = 1024;
    // The least a variant, or a string, takes in the stream.
    int minVariantSize() const { return m_version >= QDataStream::Qt_4_2 ? 5 : 4; }

    qint64 remaining() const { return qint64(m_data.size()) - m_pos; }

    bool skip(qint64 count)
    {
        if (count < 0 || count > remaining())
            return false;
        m_pos += int(count);
        return true;
    }

    bool u32(quint32 &value)
    {
        if (remaining() < 4)
            return false;
        const uchar *p = reinterpret_cast<const uchar *>(m_data.constData()) + m_pos;
        value = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
        m_pos += 4;
        return true;
    }

    // A length-prefixed block; 0xffffffff stands for a null one.
    bool block(bool evenOnly = false, QByteArray *content = nullptr)
    {
        quint32 length = 0;
        if (!u32(length))
            return false;
        if (length == 0xffffffffu)
            return true;
        if (evenOnly && (length & 1))
            return false;
        if (content)
            *content = m_data.mid(m_pos, int(qMin<qint64>(length, remaining())));
        return skip(length);
    }

    bool string(QString *text = nullptr)
    {
        QByteArray utf16;
        if (!block(true, text ? &utf16 : nullptr))
            return false;
        if (text) {
            text->resize(utf16.size() / 2);
            for (int i = 0; i < text->size(); ++i)
                (*text)[i] = QChar(ushort((uchar(utf16.at(2 * i)) << 8) | uchar(utf16.at(2 * i + 1))));
        }
        return true;
    }

    // A count that Qt reserves room for before it reads the elements: it
    // must fit into what is left, at `elementSize` bytes or more each.
    bool count(quint32 &n, int elementSize) { return u32(n) && qint64(n) * elementSize <= remaining(); }

    bool variantList(int depth)
    {
        quint32 n = 0;
        if (!count(n, minVariantSize()))
            return false;
        for (quint32 i = 0; i < n; ++i) {
            if (!variant(depth + 1))
                return false;
        }
        return true;
    }

    bool variantMap(int depth)
    {
        quint32 n = 0;
        if (!count(n, 4 + minVariantSize()))
            return false;
        for (quint32 i = 0; i < n; ++i) {
            if (!string() || !variant(depth + 1))
                return false;
        }
        return true;
    }

    bool stringList()
    {
        quint32 n = 0;
        if (!count(n, 4))
            return false;
        for (quint32 i = 0; i < n; ++i) {
            if (!string())
                return false;
        }
        return true;
    }

    bool timeZone()
    {
        QString id;
        if (!string(&id))
            return false;
        if (id != QLatin1String("OffsetFromUtc"))
            return true;
        // id, offset, name, abbreviation, country, comment
        return string() && skip(4) && string() && string() && skip(4) && string();
    }

    bool dateTime()
    {
        if (m_version < QDataStream::Qt_5_0)
            return skip(4 + 4 + 1);
        if (m_version < QDataStream::Qt_5_2)
            return skip(8 + 4 + 1);
        if (!skip(8 + 4) || remaining() < 1)
            return false;
        // How the time is given: local, UTC, an offset from UTC, a zone.
        const char timeKind = m_data.at(m_pos++);
        if (timeKind == 2) // Qt::OffsetFromUTC
            return skip(4);
        if (timeKind == 3) // Qt::TimeZone
            return timeZone();
        return true;
    }

    bool value(quint32 type, int depth)
    {
        switch (type) {
        case 1:  // bool
        case 34: // char
        case 37: // uchar
        case 40: // signed char
            return skip(1);
        case 7:  // QChar
        case 33: // short
        case 36: // ushort
            return skip(2);
        case 2:  // int
        case 3:  // uint
        case 15: // QTime
            return skip(4);
        case 4:  // qlonglong
        case 5:  // qulonglong
        case 6:  // double
        case 21: // QSize
        case 25: // QPoint
        case 32: // long, streamed as qlonglong
        case 35: // ulong
            return skip(8);
        case 38: // float, streamed as a double since Qt 4.6
            return skip(m_version >= QDataStream::Qt_4_6 ? 8 : 4);
        case 67: // QColor: colour model, alpha, three components, padding
            return skip(1 + 5 * 2);
        case 14: // QDate
            return skip(m_version >= QDataStream::Qt_5_0 ? 8 : 4);
        case 16: return dateTime();
        case 19: // QRect
        case 22: // QSizeF
        case 23: // QLine
        case 26: // QPointF
        case 30: // QUuid
            return skip(16);
        case 20: // QRectF
        case 24: // QLineF
            return skip(32);
        case 10: // QString
        case 18: // QLocale, by name
            return string();
        case 12: // QByteArray
        case 17: // QUrl, as its encoded bytes
            return block();
        case 13: { // QBitArray
            quint32 bits = 0;
            return u32(bits) && skip((qint64(bits) + 7) / 8);
        }
        case 11: return stringList();
        case 9: return variantList(depth);
        case 8:  // QVariantMap
        case 28: // QVariantHash
            return variantMap(depth);
        default:
            // User types, images, regular expressions, containers of other
            // kinds: what reading them allocates is not bounded here.
            return false;
        }
    }

    const QByteArray &m_data;
    const int m_version;
    int m_pos = 0;
};

// ---- How QSettings reads an INI file --------------------------------------

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isSpecial(char c)
{
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

// The next logical line from `pos` on, as QSettings splits a file: comments
// are skipped, quotes and escaped line breaks continue a line, an unquoted
// ';' ends it. False at the end of the data.
bool readLine(const QByteArray &data, int &pos, int &lineStart, int &lineLength, int &equalsPos)
{
    const int size = data.size();
    bool inQuotes = false;
    equalsPos = -1;
    lineStart = pos;
    while (lineStart < size && isSpace(data.at(lineStart)))
        ++lineStart;

    int i = lineStart;
    while (i < size) {
        char ch = data.at(i);
        if (!isSpecial(ch)) {
            ++i;
            continue;
        }
        ++i;
        if (ch == '=') {
            if (!inQuotes && equalsPos == -1)
                equalsPos = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == lineStart + 1) {
                ++lineStart;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (ch == '\\') {
            if (i < size) {
                const char escaped = data.at(i++);
                if (i < size) {
                    const char next = data.at(i);
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else { // ';'
            if (i == lineStart + 1) {
                while (i < size && (ch = data.at(i)) != '\n' && ch != '\r')
                    ++i;
                while (i < size && isSpace(data.at(i)))
                    ++i;
                lineStart = i;
            } else if (!inQuotes) {
                --i;
                break;
            }
        }
    }
    pos = i;
    lineLength = i - lineStart;
    return lineLength > 0;
}

void chopTrailingSpaces(QString &text, int limit)
{
    int n = text.size() - 1;
    while (n >= limit && (text.at(n) == QLatin1Char(' ') || text.at(n) == QLatin1Char('\t')))
        text.truncate(n--);
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

uint hexValue(char c)
{
    return uint(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
}

// The strings QSettings makes of the value between `from` and `to`: one
// string, or the elements of a comma-separated list.
QStringList unescapedValue(const QByteArray &data, int from, int to, QTextCodec *codec)
{
    QStringList list;
    bool isList = false;
    QString text;
    bool inQuotes = false;
    bool quoted = false;
    // A value that ends in a lone backslash or "\x" keeps its trailing spaces.
    bool chop = true;
    int i = from;

    const auto skipSpaces = [&] {
        while (i < to && (data.at(i) == ' ' || data.at(i) == '\t'))
            ++i;
    };
    skipSpaces();
    int chopLimit = text.size();
    while (i < to) {
        const char ch = data.at(i);
        if (ch == '\\') {
            ++i;
            if (i >= to) {
                chop = false;
                break;
            }
            const char e = data.at(i++);
            static const char codes[][2]
                    = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},  {'r', '\r'}, {'t', '\t'},
                       {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
            bool simple = false;
            for (const auto &code : codes) {
                if (e == code[0]) {
                    text += QLatin1Char(code[1]);
                    simple = true;
                    break;
                }
            }
            if (simple) {
                chopLimit = text.size();
                continue;
            }
            if (e == 'x' || (e >= '0' && e <= '7')) {
                const bool hex = e == 'x';
                uint value = hex ? 0 : uint(e - '0');
                if (hex && i >= to) {
                    chop = false;
                    break;
                }
                if (hex && !isHexDigit(data.at(i))) {
                    // "\x" without a digit is dropped.
                    chopLimit = text.size();
                    continue;
                }
                while (i < to && (hex ? isHexDigit(data.at(i)) : (data.at(i) >= '0' && data.at(i) <= '7')))
                    value = hex ? (value << 4) + hexValue(data.at(i++)) : (value << 3) + uint(data.at(i++) - '0');
                text += QChar(ushort(value & 0xffff));
                chopLimit = text.size();
                continue;
            }
            if ((e == '\n' || e == '\r') && i < to) {
                const char next = data.at(i);
                if ((next == '\n' || next == '\r') && next != e)
                    ++i;
            }
            // Any other escaped character is dropped.
            chopLimit = text.size();
        } else if (ch == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipSpaces();
                chopLimit = text.size();
            }
        } else if (ch == ',' && !inQuotes) {
            if (!quoted)
                chopTrailingSpaces(text, chopLimit);
            isList = true;
            list.append(text);
            text.clear();
            quoted = false;
            ++i;
            skipSpaces();
            chopLimit = text.size();
        } else {
            int j = i + 1;
            while (j < to && data.at(j) != '\\' && data.at(j) != '"' && data.at(j) != ',')
                ++j;
            if (codec)
                text += codec->toUnicode(data.constData() + i, j - i);
            else
                text += QString::fromLatin1(data.constData() + i, j - i);
            i = j;
        }
    }
    if (chop && !quoted)
        chopTrailingSpaces(text, chopLimit);
    if (isList) {
        list.append(text);
        return list;
    }
    return QStringList{text};
}

// Whether QSettings decodes `text` through QDataStream, and if so whether it
// can do that safely.
bool isSafeString(const QString &text)
{
    if (!text.endsWith(QLatin1Char(')')))
        return true;
    if (text.startsWith(QLatin1String("@Variant(")))
        return isSafeVariantStream(text.mid(9).toLatin1(), QDataStream::Qt_4_0);
    if (text.startsWith(QLatin1String("@DateTime(")))
        return isSafeVariantStream(text.mid(10).toLatin1(), QDataStream::Qt_5_6);
    return true;
}

} // namespace

bool isSafeVariantStream(const QByteArray &data, int version)
{
    return VariantWalker(data, version).variant(0);
}

QByteArray withoutUnsafeValues(const QByteArray &content, QTextCodec *codec)
{
    // Nothing can be decoded without an '@', written or escaped.
    if (!content.contains('@') && !content.contains('\\'))
        return content;

    // Spans [start, end) of the entries to drop, in file order.
    QVector<QPair<int, int>> unsafe;
    int pos = content.startsWith("\xef\xbb\xbf") ? 3 : 0;
    int lineStart = 0;
    int lineLength = 0;
    int equalsPos = -1;
    while (readLine(content, pos, lineStart, lineLength, equalsPos)) {
        if (content.at(lineStart) == '[' || equalsPos == -1)
            continue;
        int valueStart = equalsPos + 1;
        const int lineEnd = lineStart + lineLength;
        while (valueStart < lineEnd && (content.at(valueStart) == ' ' || content.at(valueStart) == '\t'))
            ++valueStart;
        const QStringList strings = unescapedValue(content, valueStart, lineEnd, codec);
        // A list is decoded element by element, and only if one of them
        // starts with a single '@', which every decoded form does.
        if (std::all_of(strings.begin(), strings.end(), isSafeString))
            continue;
        int end = lineEnd;
        // Take the entry's line break along, so no empty line stays behind.
        if (end < content.size() && content.at(end) == '\r')
            ++end;
        if (end < content.size() && content.at(end) == '\n')
            ++end;
        unsafe.append({lineStart, end});
    }
    if (unsafe.isEmpty())
        return content;

    QByteArray kept;
    kept.reserve(content.size());
    int from = 0;
    for (const auto &span : qAsConst(unsafe)) {
        kept.append(content.constData() + from, span.first - from);
        from = span.second;
    }
    kept.append(content.constData() + from, content.size() - from);
    return kept;
}

} // namespace IniContent
