#pragma once

#include "text/text.h"

#include <QString>
#include <string_view>

// The one place where text changes encoding. Inside the program every text is GB18030, whatever
// the machine's locale: GBK (code page 936) for every character GBK has, so files written on
// Chinese Windows read and are written as they were, and four-byte sequences for every other
// character (an emoji, "ï"). The euro sign keeps code page 936's single byte 0x80, which
// GB18030 has no use for. Widgets, SQLite, URLs and the browser convert here.
// Bytes that are no GB18030 decode to U+FFFD. What no code page can hold (half of a surrogate
// pair; a few private-use characters GB18030 gave up) becomes "?", or is refused by
// qStringToGbkStrict.

QString gbkToQString(std::string_view gbk);
Text qStringToGbk(const QString& text);

// As qStringToGbk, for text a person typed or the program was given (a field, an argument):
// a character that cannot be stored is refused, not stored as "?". Throws AppError
// "<what> holds U+D800 (half of a surrogate pair), which is no character" for the first one.
Text qStringToGbkStrict(const QString& text, const QString& what);

std::string gbkToUtf8(std::string_view gbk);
Text utf8ToGbk(std::string_view utf8);

// One character by its code point as one, two or four bytes; "?" for a surrogate, a number
// beyond U+10FFFF or a character that cannot be stored.
Text codePointToGbk(char32_t codePoint);

// Where bytes are no text of the program's code page: the offset of the first byte that begins
// no GB18030 sequence (nor is code page 936's euro sign), or npos.
size_t invalidGbkAt(std::string_view gbk);

// Where bytes meant as UTF-8 are not: the offset of the first byte that begins no well-formed
// sequence (a stray continuation byte, an overlong form, an encoded surrogate, a sequence cut
// short), or npos when all of them are UTF-8.
size_t invalidUtf8At(std::string_view bytes);

// A byte as messages name it: "\xFF".
QString byteName(unsigned char byte);
