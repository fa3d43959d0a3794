#pragma once

#include "text/text.h"

#include <QString>
#include <string_view>

// "Setting.ini": every read and write goes to the file at once, key by key; nothing is cached.
// Section and key names match without regard to letter case. A write replaces the file
// atomically and keeps every other line as it was; a refused write throws AppError
// "Unable to write to <path>". Reads never fail: anything missing or malformed (or a file that
// is no regular file) gives the default. The file is GBK, unless it starts with a UTF-8
// byte-order mark: then it is read as UTF-8 and written back as UTF-8 with its mark.
class IniFile {
public:
    explicit IniFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    int readInteger(std::string_view section, std::string_view key, int defaultValue) const;
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;
    // The value as written, blanks around it dropped; a value in double quotes loses them, so
    // a text can start or end with blanks.
    Text readText(std::string_view section, std::string_view key, const Text& defaultValue) const;
    void writeInteger(std::string_view section, std::string_view key, int value);
    void writeBool(std::string_view section, std::string_view key, bool value);

private:
    QString m_path;
};
