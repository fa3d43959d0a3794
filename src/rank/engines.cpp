#include "engines.h"

#include "codepage.h"
#include "inifile.h"

namespace {

constexpr const char* kSection = "Engines";
// Key prefixes in the settings file, by engine index.
constexpr std::array<const char*, kEngineCount> kKeyNames = {"Baidu", "Sogou", "Haosou"};

bool InRange(int engine) {
    return engine >= 0 && engine < kEngineCount;
}

} // namespace

const EngineProfiles& DefaultEngineProfiles() {
    static const EngineProfiles profiles = {{
        // 百度快照</a>
        {"https://www.baidu.com", "\xB0\xD9\xB6\xC8\xBF\xEC\xD5\xD5</a>", "", "", false},
        // The browser writes every attribute value in double quotes, whatever the server sent.
        {"http://www.sogou.com", "<!-- z -->  <!-- a -->", "<div class=\"results\">", "", false},
        {"http://www.so.com", "<h3 class=\"res-title\">", "<div id=\"main\">", "", true},
    }};
    return profiles;
}

EngineProfiles LoadEngineProfiles(const IniFile& settings) {
    EngineProfiles profiles = DefaultEngineProfiles();
    for (int i = 0; i < kEngineCount; ++i) {
        EngineProfile& p = profiles[static_cast<size_t>(i)];
        const std::string name = kKeyNames[static_cast<size_t>(i)];
        // An emptied address would leave the pages without a host: the built-in one stays.
        if (Text address = settings.readText(kSection, name + "Address", p.address);
            !address.empty())
            p.address = std::move(address);
        // Pages are lower-cased before they are searched, so markers are too.
        p.delimiter = LowerText(settings.readText(kSection, name + "Delimiter", p.delimiter));
        p.listStart = LowerText(settings.readText(kSection, name + "ListStart", p.listStart));
        p.listEnd = LowerText(settings.readText(kSection, name + "ListEnd", p.listEnd));
        p.delimiterOpens = settings.readBool(kSection, name + "DelimiterOpens", p.delimiterOpens);
    }
    return profiles;
}

Text EncodeKeyword(std::string_view keyword) {
    const QString units = GbkToQString(keyword);
    Text out;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (qsizetype i = 0; i < units.size(); ++i) {
        const char16_t u = units[i].unicode();
        const bool plain =
            u >= 0x21 && u <= 0x80 &&
            std::string_view("*#%<> []").find(static_cast<char>(u)) == std::string_view::npos;
        if (plain) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        // A surrogate pair is one character.
        const qsizetype length =
            (QChar::isHighSurrogate(u) && i + 1 < units.size() && units[i + 1].isLowSurrogate())
                ? 2
                : 1;
        for (const char byte : units.mid(i, length).toUtf8()) {
            out.push_back('%');
            out.push_back(kHex[(static_cast<unsigned char>(byte) >> 4) & 0xF]);
            out.push_back(kHex[static_cast<unsigned char>(byte) & 0xF]);
        }
        i += length - 1;
    }
    return out;
}

Text BuildResultPageUrl(std::string_view keyword, int engine, int page,
                        const EngineProfiles& profiles) {
    if (!InRange(engine))
        return {};
    const Text k = EncodeKeyword(keyword);
    const Text& address = profiles[static_cast<size_t>(engine)].address;
    switch (engine) {
    case 0:
        return address + "/s?wd=" + k + "&pn=" + std::to_string(10 * (page - 1));
    case 1:
        return address + "/web?query=" + k + "&ie=utf8&page=" + std::to_string(page);
    default:
        return address + "/s?q=" + k + "&pn=" + std::to_string(page);
    }
}

Text GetResultDelimiter(int engine, const EngineProfiles& profiles) {
    return InRange(engine) ? profiles[static_cast<size_t>(engine)].delimiter : Text();
}

Text GetListStartMarker(int engine, const EngineProfiles& profiles) {
    return InRange(engine) ? profiles[static_cast<size_t>(engine)].listStart : Text();
}

Text GetListEndMarker(int engine, const EngineProfiles& profiles) {
    return InRange(engine) ? profiles[static_cast<size_t>(engine)].listEnd : Text();
}

QString SortQuerySearcherTypeGetText(int engine) {
    static const QString names[] = {QStringLiteral("百度"), QStringLiteral("搜狗"),
                                    QStringLiteral("好搜")};
    return InRange(engine) ? names[engine] : QString();
}

QString BatchQuerySearcherTypeGetText(int code) {
    return code == 0 ? QStringLiteral("全部") : SortQuerySearcherTypeGetText(code - 1);
}
