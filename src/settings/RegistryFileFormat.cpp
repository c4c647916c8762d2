#include "settings/RegistryFileFormat.h"

#include "common/AsciiText.h"

#include <QByteArrayView>
#include <QStringDecoder>

#include <vector>

namespace RegistryFileFormat {
namespace {

// Hex data is wrapped the way the registry editor wraps it, so lines stay near 80 columns.
constexpr qsizetype HexLineWidth = 76;

// One line of the file, a view into the decoded text. A line whose bytes are not
// valid text is kept, decoded as well as it goes, so the parser can still tell a
// section line from a value.
struct Line
{
    QStringView text;
    bool readable = true;
};

struct Lines
{
    QString decoded; // the lines' characters, each line followed by '\n'
    std::vector<Line> lines;
};

// Views of the lines; `unreadable` holds the start of each line that is not text.
void splitDecoded(Lines &out, const std::vector<qsizetype> &unreadable = {})
{
    const QStringView all(out.decoded);
    auto bad = unreadable.begin();
    qsizetype start = 0;
    while (true) {
        const qsizetype end = all.indexOf(u'\n', start);
        QStringView line = all.sliced(start, (end < 0 ? all.size() : end) - start);
        if (line.endsWith(u'\r'))
            line.chop(1);
        const bool readable = bad == unreadable.end() || *bad != start;
        if (!readable)
            ++bad;
        out.lines.push_back({line, readable});
        if (end < 0)
            break;
        start = end + 1;
    }
}

// UTF-16 after its byte order mark. A line with a lone surrogate is not text: it
// could not be written back as it was read.
Lines splitUtf16Lines(QByteArrayView units, bool bigEndian, bool &damaged)
{
    if (units.size() % 2 != 0)
        damaged = true; // a cut-off last unit
    Lines out;
    out.decoded = QString(units.size() / 2, Qt::Uninitialized);
    QChar *next = out.decoded.data();
    for (qsizetype i = 0; i + 1 < units.size(); i += 2) {
        const auto first = quint8(units[i]);
        const auto second = quint8(units[i + 1]);
        *next++ = QChar(char16_t(bigEndian ? first << 8 | second : second << 8 | first));
    }
    splitDecoded(out);
    for (Line &line : out.lines)
        line.readable = line.text.isValidUtf16();
    return out;
}

Lines splitLines(const QByteArray &text, bool &damaged)
{
    if (text.startsWith("\xFF\xFE")) // a real export
        return splitUtf16Lines(QByteArrayView(text).sliced(2), false, damaged);
    if (text.startsWith("\xFE\xFF"))
        return splitUtf16Lines(QByteArrayView(text).sliced(2), true, damaged);
    QByteArrayView rest(text);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    // A byte order mark inside the text is a character like any other.
    constexpr auto Flags = QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom;
    Lines out;
    QStringDecoder whole(QStringDecoder::Utf8, Flags);
    out.decoded = whole(rest);
    if (!whole.hasError()) {
        splitDecoded(out);
        return out;
    }
    // Line by line, so one bad byte costs one line, not the rest of the file.
    out.decoded.clear();
    std::vector<qsizetype> unreadable;
    while (true) {
        const qsizetype end = rest.indexOf('\n');
        QStringDecoder decoder(QStringDecoder::Utf8, Flags);
        const QString line = decoder(end < 0 ? rest : rest.first(end));
        if (decoder.hasError())
            unreadable.push_back(out.decoded.size());
        out.decoded += line;
        if (end < 0)
            break;
        out.decoded += u'\n';
        rest = rest.sliced(end + 1);
    }
    splitDecoded(out, unreadable);
    return out;
}

// A run of 1 to maxDigits hex digits and nothing else.
std::optional<quint32> hexNumber(QStringView text, qsizetype maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return std::nullopt;
    quint32 number = 0;
    for (const QChar c : text) {
        const int digit = AsciiText::hexDigitValue(c.unicode());
        if (digit < 0)
            return std::nullopt;
        number = number * 16 + quint32(digit);
    }
    return number;
}

bool isStringType(qint32 type)
{
    return type == RegistryType::Sz || type == RegistryType::ExpandSz
        || type == RegistryType::MultiSz;
}

// Reads a quoted name or string starting at text[pos] == '"'; pos ends behind the
// closing quote. Only \\ and \" are escapes, as in the registry editor's files.
std::optional<QString> readQuoted(QStringView text, qsizetype &pos)
{
    QString out;
    qsizetype plain = ++pos; // start of the characters not yet copied
    for (; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (c == u'"') {
            out += text.sliced(plain, pos - plain);
            ++pos;
            return out;
        }
        if (c == u'\\' && pos + 1 < text.size() && (text[pos + 1] == u'\\' || text[pos + 1] == u'"')) {
            out += text.sliced(plain, pos - plain);
            plain = ++pos; // the escaped character is copied with what follows
        }
    }
    return std::nullopt;
}

// UTF-16LE code units as stored UTF-8 bytes; nothing when they are not text (a lone
// surrogate), which the stored bytes could not give back.
std::optional<QByteArray> utf16ToStored(const QByteArray &units)
{
    QString text(units.size() / 2, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i + 1 < units.size(); i += 2)
        *out++ = QChar(char16_t(quint8(units[i]) | quint8(units[i + 1]) << 8));
    if (!QStringView(text).isValidUtf16())
        return std::nullopt;
    return text.toUtf8();
}

// Stored bytes as the text they hold, a leading byte order mark included; nothing
// when they are not UTF-8 text.
std::optional<QString> storedText(QByteArrayView stored)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(stored);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QByteArray storedToUtf16(const QString &text)
{
    QByteArray units;
    units.reserve(text.size() * 2);
    for (const QChar c : text) {
        units.append(char(c.unicode() & 0xFF));
        units.append(char(c.unicode() >> 8));
    }
    return units;
}

// data is what follows "hex": ":01,02" or "(2):25,00".
std::optional<RegistryValue> parseHex(QStringView data, bool utf16Strings)
{
    RegistryValue value{RegistryType::Binary, {}};
    if (data.startsWith(u'(')) {
        const qsizetype close = data.indexOf(u')');
        const auto type = close < 0 ? std::nullopt : hexNumber(data.sliced(1, close - 1), 8);
        if (!type)
            return std::nullopt;
        value.type = qint32(*type);
        data = data.sliced(close + 1);
    }
    if (!data.startsWith(u':'))
        return std::nullopt;
    const QStringView list = data.sliced(1).trimmed();
    if (!list.isEmpty()) {
        value.data.reserve(list.size() / 3 + 1);
        qsizetype start = 0;
        while (true) {
            const qsizetype comma = list.indexOf(u',', start);
            const QStringView part = list.sliced(start, (comma < 0 ? list.size() : comma) - start).trimmed();
            if (part.isEmpty() && comma < 0 && start > 0)
                break; // a comma behind the last byte
            const auto byte = hexNumber(part, 2);
            if (!byte)
                return std::nullopt;
            value.data.append(char(*byte));
            if (comma < 0)
                break;
            start = comma + 1;
        }
    }
    if (utf16Strings && isStringType(value.type)) {
        if (value.data.size() % 2 != 0)
            return std::nullopt;
        const auto stored = utf16ToStored(value.data);
        if (!stored)
            return std::nullopt;
        value.data = *stored;
    }
    return value;
}

enum class DataKind { Value, Delete, Unreadable };

DataKind parseData(QStringView data, bool utf16Strings, RegistryValue &value)
{
    if (data == u"-")
        return DataKind::Delete;
    if (data.startsWith(u'"')) {
        qsizetype pos = 0;
        const auto text = readQuoted(data, pos);
        if (!text || pos != data.size())
            return DataKind::Unreadable;
        value = {RegistryType::Sz, text->toUtf8().append('\0')};
        return DataKind::Value;
    }
    if (data.startsWith(u"dword:", Qt::CaseInsensitive)) {
        const auto number = hexNumber(data.sliced(6).trimmed(), 8);
        if (!number)
            return DataKind::Unreadable;
        QByteArray bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[i] = char((*number >> (8 * i)) & 0xFF);
        value = {RegistryType::Dword, bytes};
        return DataKind::Value;
    }
    if (data.startsWith(u"hex", Qt::CaseInsensitive)) {
        const auto parsed = parseHex(data.sliced(3), utf16Strings);
        if (!parsed)
            return DataKind::Unreadable;
        value = *parsed;
        return DataKind::Value;
    }
    return DataKind::Unreadable;
}

class Parser
{
public:
    ParseResult run(const QByteArray &text)
    {
        const Lines split = splitLines(text, m_result.damaged);
        const std::vector<Line> &lines = split.lines;
        bool headerSeen = false;
        QString joined;
        for (size_t i = 0; i < lines.size(); ++i) {
            QStringView line = lines[i].text.trimmed();
            bool readable = lines[i].readable;
            // A line ending in a backslash goes on in the next one (wrapped hex data).
            // A section line never continues a value, so a value cut off before one
            // cannot swallow the next key.
            if (!line.startsWith(u';') && line.endsWith(u'\\')) {
                joined = line.toString();
                while (joined.endsWith(u'\\') && i + 1 < lines.size()
                       && !lines[i + 1].text.trimmed().startsWith(u'[')) {
                    const Line &next = lines[++i];
                    joined.chop(1);
                    joined += next.text.trimmed(); // appended, so long values stay linear
                    readable = readable && next.readable;
                }
                line = joined;
            }
            if (!readable) {
                m_result.damaged = true;
                // An unreadable section line still ends the key above it: the values
                // below belong to the lost key, not to that one.
                if (line.startsWith(u'[')) {
                    m_key = nullptr;
                    m_inDeletion = false;
                }
                continue;
            }
            if (line.isEmpty() || line.startsWith(u';'))
                continue;
            if (!headerSeen) {
                headerSeen = true;
                if (line == QLatin1StringView(Header))
                    continue;
                if (line == QLatin1StringView(Regedit4Header)) {
                    m_utf16Strings = false;
                    m_result.version = Version::Regedit4;
                    continue;
                }
                // Not a registry file by its first line; still keep what reads as one.
                m_result.damaged = true;
            }
            if (line.startsWith(u'['))
                readSection(line);
            else
                readValue(line);
        }
        return std::move(m_result);
    }

private:
    void readSection(QStringView line)
    {
        m_key = nullptr;
        m_inDeletion = false;
        if (!line.endsWith(u']')) {
            m_result.damaged = true;
            return;
        }
        QStringView inner = line.sliced(1, line.size() - 2);
        const bool deletion = inner.startsWith(u'-');
        if (deletion)
            inner = inner.sliced(1);
        const qsizetype slash = inner.indexOf(u'\\');
        const QStringView rootText = slash < 0 ? inner : inner.first(slash);
        const QString path = slash < 0 ? QString() : inner.sliced(slash + 1).toString();
        std::optional<RegistryRoot> root;
        if (rootText.compare(u"HKEY_CURRENT_USER", Qt::CaseInsensitive) == 0
            || rootText.compare(u"HKCU", Qt::CaseInsensitive) == 0)
            root = RegistryRoot::CurrentUser;
        else if (rootText.compare(u"HKEY_CLASSES_ROOT", Qt::CaseInsensitive) == 0
                 || rootText.compare(u"HKCR", Qt::CaseInsensitive) == 0)
            root = RegistryRoot::ClassesRoot;
        if (!root || !RegistryTree::splitPath(path)) {
            m_result.damaged = true;
            return;
        }
        if (deletion) {
            m_result.tree.deleteKeyTree(*root, path);
            m_inDeletion = true;
            return;
        }
        // Found once: the values below are set straight into it.
        m_key = m_result.tree.createOrOpenKey(*root, path);
    }

    void readValue(QStringView line)
    {
        if (m_inDeletion)
            return; // values under a removed key have nowhere to go
        if (!m_key) {
            m_result.damaged = true;
            return;
        }
        QString name;
        qsizetype pos = 0;
        if (line.startsWith(u'@')) {
            pos = 1;
        } else if (line.startsWith(u'"')) {
            const auto quoted = readQuoted(line, pos);
            if (!quoted) {
                m_result.damaged = true;
                return;
            }
            name = *quoted;
        } else {
            m_result.damaged = true;
            return;
        }
        const QStringView rest = line.sliced(pos).trimmed();
        if (!rest.startsWith(u'=')) {
            m_result.damaged = true;
            return;
        }
        RegistryValue value;
        switch (parseData(rest.sliced(1).trimmed(), m_utf16Strings, value)) {
        case DataKind::Value:
            // A name the store refuses (a lone carriage return in it) is a part of
            // the text that could not be kept.
            if (m_key->setValue(name, value) != StoreResult::Ok)
                m_result.damaged = true;
            break;
        case DataKind::Delete:
            m_key->removeValue(name);
            break;
        case DataKind::Unreadable:
            m_result.damaged = true;
            break;
        }
    }

    ParseResult m_result;
    bool m_utf16Strings = true;
    bool m_inDeletion = false;
    // The key of the section being read; nothing outside a readable section.
    RegistryTree::Key *m_key = nullptr;
};

// Escapes byte by byte: '\\' and '"' never occur inside a UTF-8 sequence.
void appendQuoted(QByteArray &out, QByteArrayView text)
{
    out += '"';
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

// The quoted form holds exactly one string of UTF-8 text and its NUL, on one line.
bool fitsQuotedForm(const QByteArray &data)
{
    if (!data.endsWith('\0'))
        return false;
    const QByteArrayView body = QByteArrayView(data).chopped(1);
    return !body.contains('\0') && !body.contains('\n') && !body.contains('\r') && storedText(body);
}

// prefixWidth: the prefix's length in characters, as a reader of the file counts them.
void appendHex(QByteArray &out, QByteArrayView prefix, qsizetype prefixWidth, QByteArrayView bytes)
{
    out += prefix;
    qsizetype width = prefixWidth;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const bool last = i + 1 == bytes.size();
        const qsizetype tokenWidth = last ? 2 : 3;
        if (width + tokenWidth > HexLineWidth) {
            out += "\\\n  ";
            width = 2;
        }
        const auto byte = quint8(bytes[i]);
        out += AsciiText::toLower(AsciiText::hexDigit(byte >> 4));
        out += AsciiText::toLower(AsciiText::hexDigit(byte));
        if (!last)
            out += ',';
        width += tokenWidth;
    }
    out += '\n';
}

class Writer
{
public:
    explicit Writer(Version version) : m_utf16Strings(version == Version::Editor5)
    {
        m_out += version == Version::Editor5 ? Header : Regedit4Header;
        m_out += '\n';
    }

    void appendKey(const RegistryTree::Key &key, const QString &path, bool isRoot)
    {
        // Every key gets its section, so empty keys survive; a root only when it holds values.
        if (!isRoot || !key.values().isEmpty()) {
            m_out += "\n[";
            m_out += path.toUtf8();
            m_out += "]\n";
            for (const auto &[name, value] : key.values())
                appendValue(name, value);
        }
        for (const RegistryTree::Key *subkey : key.sortedSubkeys())
            appendKey(*subkey, path + u'\\' + subkey->name(), false);
    }

    // A string value's bytes are not UTF-8 text, which a version 5.00 file cannot hold.
    bool metStringThatIsNotText() const { return m_metStringThatIsNotText; }
    QByteArray &text() { return m_out; }

private:
    void appendValue(const QString &name, const RegistryValue &value)
    {
        QByteArray prefix;
        qsizetype prefixWidth = 1;
        if (name.isEmpty()) {
            prefix = "@";
        } else {
            const QByteArray utf8 = name.toUtf8();
            appendQuoted(prefix, utf8);
            prefixWidth = prefix.size() - utf8.size() + name.size();
        }
        prefix += '=';
        ++prefixWidth;

        if (value.type == RegistryType::Sz && fitsQuotedForm(value.data)) {
            m_out += prefix;
            appendQuoted(m_out, QByteArrayView(value.data).chopped(1));
            m_out += '\n';
        } else if (value.type == RegistryType::Dword && value.data.size() == 4) {
            quint32 number = 0;
            for (int i = 3; i >= 0; --i)
                number = number << 8 | quint8(value.data[i]);
            m_out += prefix + "dword:" + QByteArray::number(number, 16).rightJustified(8, '0') + '\n';
        } else if (value.type == RegistryType::Binary) {
            appendHex(m_out, prefix + "hex:", prefixWidth + 4, value.data);
        } else {
            const QByteArray typed = "hex(" + QByteArray::number(quint32(value.type), 16) + "):";
            QByteArray data = value.data;
            if (m_utf16Strings && isStringType(value.type)) {
                const auto text = storedText(value.data);
                if (text)
                    data = storedToUtf16(*text);
                else
                    m_metStringThatIsNotText = true;
            }
            appendHex(m_out, prefix + typed, prefixWidth + typed.size(), data);
        }
    }

    QByteArray m_out;
    bool m_utf16Strings;
    bool m_metStringThatIsNotText = false;
};

} // namespace

ParseResult parse(const QByteArray &text)
{
    return Parser().run(text);
}

QByteArray serialize(const RegistryTree &tree, Version version)
{
    Writer writer(version);
    for (const RegistryRoot root : {RegistryRoot::ClassesRoot, RegistryRoot::CurrentUser})
        writer.appendKey(tree.rootKey(root), RegistryTree::rootName(root), true);
    if (writer.metStringThatIsNotText())
        return serialize(tree, Version::Regedit4);
    return std::move(writer.text());
}

} // namespace RegistryFileFormat
