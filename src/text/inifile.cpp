#include "text/inifile.h"

#include "text/apperror.h"
#include "text/atomicfile.h"
#include "text/codepage.h"
#include "text/datafile.h"
#include "text/text.h"

#include <QFile>
#include <QFileInfo>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace {

// One line of the file with its own line break, so untouched lines are written back as read.
struct Line {
    Text body;
    Text end;
};

std::vector<Line> splitLines(const QByteArray& bytes) {
    std::vector<Line> lines;
    const std::string_view all(bytes.constData(), static_cast<size_t>(bytes.size()));
    size_t start = 0;
    while (start < all.size()) {
        const size_t brk = all.find_first_of("\r\n", start);
        if (brk == std::string_view::npos) {
            lines.push_back({Text(all.substr(start)), {}});
            break;
        }
        const size_t len =
            (all[brk] == '\r' && brk + 1 < all.size() && all[brk + 1] == '\n') ? 2 : 1;
        lines.push_back({Text(all.substr(start, brk - start)), Text(all.substr(brk, len))});
        start = brk + len;
    }
    return lines;
}

bool sameName(std::string_view a, std::string_view b) {
    return lowerText(trimText(a)) == lowerText(trimText(b));
}

// The section name of a "[name]" line.
std::optional<std::string_view> sectionOf(std::string_view line) {
    const Text trimmed = trimText(line);
    if (trimmed.size() < 2 || trimmed.front() != '[')
        return std::nullopt;
    const size_t open = line.find('[');
    const size_t close = line.find(']', open);
    if (close == std::string_view::npos)
        return std::nullopt;
    return line.substr(open + 1, close - open - 1);
}

bool isComment(std::string_view line) {
    const Text trimmed = trimText(line);
    return !trimmed.empty() && trimmed.front() == ';';
}

// Where a key lives: the section's line range and the key's line, if present.
struct Place {
    std::optional<size_t> header;
    size_t lastInSection = 0;
    std::optional<size_t> key;
};

Place find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Place place;
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view body = lines[i].body;
        if (auto name = sectionOf(body)) {
            if (inside)
                break;
            inside = sameName(*name, section);
            if (inside)
                place.header = place.lastInSection = i;
            continue;
        }
        if (!inside)
            continue;
        if (!trimText(body).empty())
            place.lastInSection = i;
        const size_t eq = body.find('=');
        if (!place.key && eq != std::string_view::npos && !isComment(body) &&
            sameName(body.substr(0, eq), key))
            place.key = i;
    }
    return place;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The file's bytes without a UTF-8 byte-order mark, and whether it had one: such a file holds
// UTF-8 rather than GBK. Names and numbers are ASCII either way; only texts read are converted.
struct Content {
    QByteArray bytes;
    bool utf8 = false;
};

Content split(QByteArray bytes) {
    Content content;
    content.utf8 = bytes.startsWith(QByteArray(kUtf8Mark.data(), kUtf8Mark.size()));
    if (content.utf8)
        bytes.remove(0, static_cast<qsizetype>(kUtf8Mark.size()));
    content.bytes = std::move(bytes);
    return content;
}

// Why bytes read are no settings text; empty when they are.
QString notText(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return QStringLiteral("it is UTF-16 text; save it as GBK or UTF-8");
    if (bytes.contains('\0'))
        return QStringLiteral("it is no text: it holds zero bytes, as UTF-16 text or a binary "
                              "file does");
    return {};
}

// A file that is there but cannot be read is an error: going on with the defaults would query
// other engines, or use another database, than the file names.
Content readFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return {};
    auto unreadable = [&](const QString& why) {
        return AppError(QStringLiteral("Cannot read the settings file %1: %2").arg(path, why));
    };
    DataFileProblem problem;
    std::optional<QByteArray> bytes = tryReadDataFile(path, problem);
    if (!bytes)
        throw unreadable(problem.why);
    if (const QString why = notText(*bytes); !why.isEmpty())
        throw unreadable(why);
    return split(std::move(*bytes));
}

// The file as it stands before a write; one that exists but cannot be read is not replaced,
// or its other lines would be lost.
Content readForWrite(const QString& path, const QString& error) {
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return {};
    try {
        return split(readDataFile(path));
    } catch (const AppError&) {
        throw AppError(error);
    }
}

} // namespace

namespace {

Text valueOf(std::string_view body, bool utf8) {
    const Text value = trimText(body.substr(body.find('=') + 1));
    return utf8 ? utf8ToGbk(value) : value;
}

} // namespace

// Every value of the file as a read finds it: the first section of a name, the first key of a
// name in it; names in lower case.
struct IniFile::Values {
    std::map<std::pair<Text, Text>, Text> byName;
};

std::shared_ptr<const IniFile::Values> IniFile::readValues(const QString& path) {
    const Content content = readFile(path);
    auto values = std::make_shared<Values>();
    std::set<Text> seen;
    std::optional<Text> section;
    for (const Line& line : splitLines(content.bytes)) {
        const std::string_view body = line.body;
        if (auto name = sectionOf(body)) {
            const Text lower = lowerText(trimText(*name));
            section = seen.insert(lower).second ? std::optional<Text>(lower) : std::nullopt;
            continue;
        }
        const size_t eq = body.find('=');
        if (!section || eq == std::string_view::npos || isComment(body))
            continue;
        values->byName.emplace(std::pair(*section, lowerText(trimText(body.substr(0, eq)))),
                               valueOf(body, content.utf8));
    }
    return values;
}

IniFile IniFile::frozen() const {
    IniFile copy(m_path);
    copy.m_frozen = readValues(m_path);
    return copy;
}

std::optional<Text> IniFile::readValue(std::string_view section, std::string_view key) const {
    if (m_frozen) {
        const auto found = m_frozen->byName.find(
            std::pair(lowerText(trimText(section)), lowerText(trimText(key))));
        return found == m_frozen->byName.end() ? std::nullopt : std::optional<Text>(found->second);
    }
    const Content content = readFile(m_path);
    const std::vector<Line> lines = splitLines(content.bytes);
    const Place place = find(lines, section, key);
    if (!place.key)
        return std::nullopt;
    return valueOf(lines[*place.key].body, content.utf8);
}

void IniFile::check() const {
    readFile(m_path);
}

int IniFile::readInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const auto value = readValue(section, key);
    return value ? parseWholeNumber(*value).value_or(defaultValue) : defaultValue;
}

Text IniFile::readText(std::string_view section, std::string_view key,
                       const Text& defaultValue) const {
    auto value = readValue(section, key);
    if (!value)
        return defaultValue;
    if (value->size() >= 2 && value->front() == '"' && value->back() == '"')
        return value->substr(1, value->size() - 2);
    return *value;
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    writeInteger(section, key, value ? 1 : 0);
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int value) {
    writeValue(section, key, std::to_string(value), false);
}

void IniFile::writeText(std::string_view section, std::string_view key, const Text& value) {
    // The file holds one entry a line.
    if (value.find_first_of("\r\n") != Text::npos)
        throw AppError(QStringLiteral("[%1] %2 cannot hold a line break")
                           .arg(QString::fromLatin1(section.data(), qsizetype(section.size())),
                                QString::fromLatin1(key.data(), qsizetype(key.size()))));
    // Quoted where a read would drop blanks around it or the quotes it is in.
    const bool quoted =
        !value.empty() && (static_cast<unsigned char>(value.front()) <= 0x20 ||
                           static_cast<unsigned char>(value.back()) <= 0x20 ||
                           (value.size() >= 2 && value.front() == '"' && value.back() == '"'));
    writeValue(section, key, quoted ? "\"" + value + "\"" : value, true);
}

void IniFile::writeValue(std::string_view section, std::string_view key, const Text& valueGbk,
                         bool isText) {
    Q_ASSERT(!m_frozen);
    const QString error = QStringLiteral("Unable to write to %1").arg(m_path);
    const Content old = readForWrite(m_path, error);
    std::vector<Line> lines = splitLines(old.bytes);
    // New lines follow the file's own line breaks; a new file gets the Windows ones.
    const Text newline =
        (!lines.empty() && !lines.front().end.empty()) ? lines.front().end : "\r\n";
    // A text in a file marked as UTF-8 is written in UTF-8, as it is read.
    const Text valueText = isText && old.utf8 ? Text(gbkToUtf8(valueGbk)) : valueGbk;
    const Place place = find(lines, section, key);
    if (place.key) {
        Text& body = lines[*place.key].body;
        body = body.substr(0, body.find('=') + 1) + valueText;
    } else {
        const Text entry = Text(key) + "=" + valueText;
        if (place.header) {
            lines.insert(lines.begin() + static_cast<long>(place.lastInSection) + 1,
                         {entry, newline});
        } else {
            lines.push_back({"[" + Text(section) + "]", newline});
            lines.push_back({entry, newline});
        }
    }
    // A line that gains a follower needs its own break.
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].end.empty())
            lines[i].end = newline;

    // A file marked as UTF-8 stays so; the lines are its own bytes, untouched.
    Text content = old.utf8 ? Text(kUtf8Mark) : Text();
    for (const Line& line : lines)
        content.append(line.body).append(line.end);

    // Replacing the file would succeed even on a write-protected one; honour the protection.
    const QFileInfo info(m_path);
    if (info.exists() && !info.isWritable())
        throw AppError(error);
    if (!replaceFileAtomically(m_path, content))
        throw AppError(error);
}
