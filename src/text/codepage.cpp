#include "text/codepage.h"

#include "text/apperror.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace {

// GBK's superset: the same two bytes for every character GBK has, four for every other.
constexpr const char* kCodePage = "GB18030";
constexpr const char* kUtf16 = "UTF-16LE";

// Code page 936 puts the euro sign on this single byte, where GB18030 has nothing: files that
// hold it read as before, and the sign is written so again.
constexpr char kEuroByte = '\x80';
constexpr char16_t kEuro = 0x20AC;

// iconv descriptors are costly to open and not thread-safe, so each thread keeps its own.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open reports failure as (iconv_t)-1.
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as it can; returns false where the input holds something it cannot
    // convert (in is then left at that point).
    bool run(const char*& in, size_t& inLeft, std::string& out) {
        char buffer[4096];
        while (inLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            char* src = const_cast<char*>(in);
            const size_t rc = iconv(m_cd, &src, &inLeft, &dst, &dstLeft);
            const int error = errno;
            in = src;
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (rc == static_cast<size_t>(-1) && error != E2BIG)
                return false;
        }
        return true;
    }
    void reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t m_cd;
};

Converter& gbkToUtf16Converter() {
    thread_local Converter converter(kUtf16, kCodePage);
    return converter;
}

Converter& utf16ToGbkConverter() {
    thread_local Converter converter(kCodePage, kUtf16);
    return converter;
}

bool isAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::u16string gbkToUtf16(std::string_view gbk) {
    Converter& converter = gbkToUtf16Converter();
    converter.reset();
    std::string bytes;
    bytes.reserve(gbk.size() * 2);
    const char* in = gbk.data();
    size_t left = gbk.size();
    while (!converter.run(in, left, bytes)) {
        // Not valid GB18030: code page 936's euro sign, or one replacement character for the
        // offending byte; then go on.
        if (*in == kEuroByte)
            bytes.append("\xAC\x20", 2);
        else
            bytes.append("\xFD\xFF", 2);
        ++in;
        --left;
        converter.reset();
    }
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return units;
}

// A unit or pair that cannot be converted: where it stands and what it is.
struct Unconvertible {
    size_t at = 0;
    char32_t codePoint = 0;
};

// Units that are all 0x80 or above and no euro sign, through iconv. A character that cannot
// be converted becomes "?", as the system's wide-to-ANSI conversion gives; when bad is given,
// the conversion stops there instead and says which one it is.
bool appendWideRun(const char16_t* units, size_t count, Text& out, Unconvertible* bad) {
    std::string bytes;
    bytes.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        bytes.push_back(static_cast<char>(units[i] & 0xFF));
        bytes.push_back(static_cast<char>(units[i] >> 8));
    }
    Converter& converter = utf16ToGbkConverter();
    converter.reset();
    const char* in = bytes.data();
    size_t left = bytes.size();
    while (!converter.run(in, left, out)) {
        const size_t unit = static_cast<size_t>(in - bytes.data()) / 2;
        const char16_t c = units[unit];
        const bool pair =
            QChar::isHighSurrogate(c) && unit + 1 < count && QChar::isLowSurrogate(units[unit + 1]);
        if (bad) {
            *bad = {unit, pair ? QChar::surrogateToUcs4(c, units[unit + 1]) : c};
            return false;
        }
        out.push_back('?');
        const size_t skip = pair ? 4 : 2;
        in += skip;
        left -= skip;
        converter.reset();
    }
    return true;
}

// A page is mostly ASCII, which is the same in both: only the runs of other characters go
// through iconv, which is slow per character. With bad given, stops at the first character
// that cannot be converted (see appendWideRun).
Text utf16ToGbk(const char16_t* units, size_t count, Unconvertible* bad = nullptr) {
    Text out;
    out.reserve(count);
    size_t i = 0;
    auto single = [](char16_t unit) { return unit < 0x80 || unit == kEuro; };
    while (i < count) {
        if (single(units[i])) {
            out.push_back(units[i] == kEuro ? kEuroByte : static_cast<char>(units[i]));
            ++i;
            continue;
        }
        size_t end = i;
        while (end < count && !single(units[end]))
            ++end;
        if (!appendWideRun(units + i, end - i, out, bad)) {
            bad->at += i;
            return out;
        }
        i = end;
    }
    return out;
}

bool isAsciiText(const QString& text) {
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// The length of the well-formed UTF-8 sequence at the front of bytes (RFC 3629), 0 if none.
size_t utf8SequenceLength(std::string_view bytes) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    unsigned char low = 0x80; // the range of the second byte, narrowed where the lead needs it
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        else if (lead == 0xED)
            high = 0x9F; // a surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        else if (lead == 0xF4)
            high = 0x8F; // beyond U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

} // namespace

QString gbkToQString(std::string_view gbk) {
    if (isAscii(gbk))
        return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
    const std::u16string units = gbkToUtf16(gbk);
    return QString(reinterpret_cast<const QChar*>(units.data()),
                   static_cast<qsizetype>(units.size()));
}

Text qStringToGbk(const QString& text) {
    if (isAsciiText(text))
        return text.toLatin1().toStdString();
    return utf16ToGbk(reinterpret_cast<const char16_t*>(text.utf16()),
                      static_cast<size_t>(text.size()));
}

Text qStringToGbkStrict(const QString& text, const QString& what) {
    if (isAsciiText(text))
        return text.toLatin1().toStdString();
    Unconvertible bad{std::string::npos, 0};
    Text out = utf16ToGbk(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()), &bad);
    if (bad.at == std::string::npos)
        return out;
    const QString name = QStringLiteral("U+%1").arg(
        QString::number(static_cast<uint>(bad.codePoint), 16).toUpper(), 4, QLatin1Char('0'));
    if (QChar::isSurrogate(bad.codePoint))
        throw AppError(QStringLiteral("%1 holds %2 (half of a surrogate pair), which is no "
                                      "character")
                           .arg(what, name));
    throw AppError(QStringLiteral("%1 holds %2, a private-use character GB18030 has no code for")
                       .arg(what, name));
}

std::string gbkToUtf8(std::string_view gbk) {
    if (isAscii(gbk))
        return std::string(gbk);
    return gbkToQString(gbk).toUtf8().toStdString();
}

Text utf8ToGbk(std::string_view utf8) {
    if (isAscii(utf8))
        return Text(utf8);
    return qStringToGbk(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

Text codePointToGbk(char32_t codePoint) {
    if (codePoint < 0x80)
        return Text(1, static_cast<char>(codePoint));
    if (codePoint > 0x10FFFF)
        return "?";
    char16_t units[2] = {static_cast<char16_t>(codePoint), 0};
    size_t count = 1;
    if (QChar::requiresSurrogates(codePoint)) {
        units[0] = QChar::highSurrogate(codePoint);
        units[1] = QChar::lowSurrogate(codePoint);
        count = 2;
    }
    return utf16ToGbk(units, count);
}

size_t invalidGbkAt(std::string_view gbk) {
    if (isAscii(gbk))
        return std::string_view::npos;
    Converter& converter = gbkToUtf16Converter();
    converter.reset();
    std::string units;
    const char* in = gbk.data();
    size_t left = gbk.size();
    while (!converter.run(in, left, units)) {
        if (*in != kEuroByte)
            return static_cast<size_t>(in - gbk.data());
        ++in;
        --left;
        converter.reset();
    }
    return std::string_view::npos;
}

size_t invalidUtf8At(std::string_view bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t length = utf8SequenceLength(bytes.substr(at));
        if (length == 0)
            return at;
        at += length;
    }
    return std::string_view::npos;
}

QString byteName(unsigned char byte) {
    return QStringLiteral("\\x%1").arg(QString::number(byte, 16).toUpper(), 2, QLatin1Char('0'));
}
