#include "text/codepage.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace {

// glibc's name for Windows code page 936 (GBK with the euro sign at 0x80).
constexpr const char* kCodePage = "CP936";
constexpr const char* kUtf16 = "UTF-16LE";

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
        // Not valid GBK: one replacement character for the offending byte, then go on.
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

// Units that are all 0x80 or above, through iconv.
void appendWideRun(const char16_t* units, size_t count, Text& out) {
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
        // A character GBK lacks, or a lone surrogate: "?" for it, as the system's
        // wide-to-ANSI conversion gives.
        out.push_back('?');
        const size_t unit = static_cast<size_t>(in - bytes.data()) / 2;
        const char16_t c = units[unit];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && unit + 1 < count &&
                          units[unit + 1] >= 0xDC00 && units[unit + 1] <= 0xDFFF;
        const size_t skip = pair ? 4 : 2;
        in += skip;
        left -= skip;
        converter.reset();
    }
}

// A page is mostly ASCII, which is the same in both: only the runs of other characters go
// through iconv, which is slow per character.
Text utf16ToGbk(const char16_t* units, size_t count) {
    Text out;
    out.reserve(count);
    size_t i = 0;
    while (i < count) {
        if (units[i] < 0x80) {
            out.push_back(static_cast<char>(units[i]));
            ++i;
            continue;
        }
        size_t end = i;
        while (end < count && units[end] >= 0x80)
            ++end;
        appendWideRun(units + i, end - i, out);
        i = end;
    }
    return out;
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
    bool ascii = true;
    for (QChar c : text)
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return text.toLatin1().toStdString();
    return utf16ToGbk(reinterpret_cast<const char16_t*>(text.utf16()),
                      static_cast<size_t>(text.size()));
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

Text utf16UnitToGbk(char16_t unit) {
    if (unit < 0x80)
        return Text(1, static_cast<char>(unit));
    return utf16ToGbk(&unit, 1);
}
