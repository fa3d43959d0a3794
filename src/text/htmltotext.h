#pragma once

#include "text/text.h"

// Plain text of an HTML page for the rank scan: scripts, styles, comments and tags dropped
// ("<br>" and "<p>" become line breaks), references and a few entities decoded, runs of
// spaces collapsed. keepList holds tag keys (and possibly "&nbsp;") to leave in place.
Text HtmlToText(std::string_view html, std::string_view keepList);

Text RemoveScripts(std::string_view html);
Text RemoveStylesAndComments(std::string_view html);

// "&#65;", "&#x4e2d;" and the like become the character in the program's code page.
Text DecodeNumericRefs(std::string_view text);
