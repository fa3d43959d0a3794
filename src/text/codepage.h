#pragma once

#include "text/text.h"

#include <QString>

// The one place where text changes encoding. Inside the program every text is GBK (code page
// 936, whatever the machine's locale); widgets, SQLite, URLs and the browser convert here.
// A character GBK lacks becomes "?"; bytes that are not valid GBK decode to U+FFFD.

QString gbkToQString(std::string_view gbk);
Text qStringToGbk(const QString& text);

std::string gbkToUtf8(std::string_view gbk);
Text utf8ToGbk(std::string_view utf8);

// One UTF-16 code unit as GBK bytes (one or two; "?" if GBK has no such character).
Text utf16UnitToGbk(char16_t unit);
