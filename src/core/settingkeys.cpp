#include "core/settingkeys.h"

#include "text/codepage.h"

#include <QFileInfo>

namespace {

QLatin1String latin1(std::string_view name) {
    return QLatin1String(name.data(), static_cast<qsizetype>(name.size()));
}

QString rangeText(const IntSetting& key) {
    if (key.min == INT_MIN)
        return QStringLiteral("at most %1").arg(key.max);
    if (key.max == INT_MAX)
        return QStringLiteral("at least %1").arg(key.min);
    return QStringLiteral("%1 to %2").arg(key.min).arg(key.max);
}

// A value as a message shows it: no control characters (a terminal obeys escape sequences),
// and not a page long.
QString shownValue(const Text& written) {
    QString shown = gbkToQString(written);
    for (QChar& c : shown)
        if (c.category() == QChar::Other_Control)
            c = QChar(0xFFFD);
    constexpr qsizetype kMaxChars = 40;
    return shown.size() > kMaxChars ? shown.left(kMaxChars) + QStringLiteral("…") : shown;
}

} // namespace

QStringList settingsWarnings(const IniFile& settings) {
    QStringList warnings;
    const QString file = QFileInfo(settings.path()).fileName();
    // A text no value has: a key that is missing is no fault.
    const Text missing = "\x01";
    for (const IntSetting* key : Settings::kIntSettings) {
        const Text written = settings.readText(key->section, key->key, missing);
        if (written == missing || trimText(written).empty())
            continue;
        const QString named =
            QStringLiteral("%1 [%2] %3=%4")
                .arg(file, latin1(key->section), latin1(key->key), shownValue(written));
        const std::optional<int> value = parseWholeNumber(written);
        if (!value) {
            warnings << QStringLiteral("%1 is no whole number; %2 is used")
                            .arg(named)
                            .arg(key->clamp(key->defaultValue));
        } else if (key->clamp(*value) != *value) {
            warnings << QStringLiteral("%1 is out of range (%2); %3 is used")
                            .arg(named, rangeText(*key))
                            .arg(key->clamp(*value));
        }
    }
    return warnings;
}
