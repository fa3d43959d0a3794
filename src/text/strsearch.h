#pragma once

#include "text/text.h"

// First occurrence of needle at or after start (start < 1 counts as 1); 0 if none.
int PosFrom(std::string_view needle, std::string_view text, int start);

// Earliest occurrence of any needle at or after start. On a match index is set to the
// needle's list index (the earlier needle wins a tie); otherwise it is left alone.
int PosFirstOf(int& index, std::string_view text, const TextList& needles, int start);

// Like PosFrom, but a needle holding CR LF also matches where the text breaks the line with CR
// alone or LF alone. needle becomes the form that matched.
int PosAnyLineBreak(Text& needle, std::string_view text, int start);

// Every occurrence of search replaced left to right; replaced text is never searched again.
Text ReplaceText(std::string_view text, std::string_view search, std::string_view replacement,
                 bool caseSensitive);

// Occurrences of search, overlapping ones included.
int CountText(std::string_view text, std::string_view search, bool caseSensitive);

// Pieces between delimiters, empty ones kept; see the tests for the corner cases.
TextList SplitText(std::string_view text, std::string_view delimiter, bool trim);

// The text between the occurrence-th start marker and the next end marker (or, backward, the
// occurrence-th end marker and the last start marker before it). Markers match case-insensitively
// and in any line-break form. Returns kNotFound when a needed marker is missing.
Text ExtractBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                    bool backward, bool reattach, int occurrence);
