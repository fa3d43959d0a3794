#pragma once

#include "text/text.h"

#include <QString>
#include <memory>
#include <optional>
#include <string_view>

// "Setting.ini": every read and write goes to the file at once, key by key; nothing is cached
// but in a frozen() copy.
// Section and key names match without regard to letter case. A write replaces the file
// atomically and keeps every other line as it was; a refused write throws AppError
// "Unable to write to <path>". A missing file, key or section, or a malformed value, gives the
// default; a file that is there but cannot be read (a folder, no permission, no regular file,
// too large, UTF-16 or binary) throws AppError "Cannot read the settings file <path>: <why>"
// on every read. The file is GBK, unless it starts with a UTF-8 byte-order mark: then it is
// read as UTF-8 and written back as UTF-8 with its mark.
class IniFile {
public:
    explicit IniFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }
    // Throws as a read would when the file is there but cannot be read.
    void check() const;

    int readInteger(std::string_view section, std::string_view key, int defaultValue) const;
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;
    // The value as written, blanks around it dropped; a value in double quotes loses them, so
    // a text can start or end with blanks.
    Text readText(std::string_view section, std::string_view key, const Text& defaultValue) const;
    void writeInteger(std::string_view section, std::string_view key, int value);
    void writeBool(std::string_view section, std::string_view key, bool value);
    // Written so that readText gives it back: in double quotes when it starts or ends with a
    // blank or stands in quotes itself. A value with a line break throws AppError.
    void writeText(std::string_view section, std::string_view key, const Text& value);

    // The file as it is now, read once: its reads are answered from memory, as a table of many
    // keys wants. Throws as a read does; not to be written.
    IniFile frozen() const;

private:
    struct Values;
    static std::shared_ptr<const Values> readValues(const QString& path);
    std::optional<Text> readValue(std::string_view section, std::string_view key) const;
    // valueGbk as the file holds it; a text (isText) is converted for a UTF-8 file.
    void writeValue(std::string_view section, std::string_view key, const Text& valueGbk,
                    bool isText);

    QString m_path;
    std::shared_ptr<const Values> m_frozen;
};
