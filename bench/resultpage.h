#pragma once

#include "text/text.h"

#include <cstddef>

// A search-result page as the rank scan sees it: GBK, lower-cased, with scripts, styles and
// comments up front and result blocks after, about 20,000 tags per MB. The same size always
// gives the same page, and the page is exactly that many bytes long.
Text makeResultPage(size_t size);

// The marker that ends a result's title, one per result block.
inline constexpr std::string_view kResultDelimiter = "</h3>";
