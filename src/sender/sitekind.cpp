#include "sender/sitekind.h"

#include "text/strsearch.h"

namespace {

bool startsWithLower(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && lowerText(text.substr(0, prefix.size())) == prefix;
}

} // namespace

Text ReduceDomain(std::string_view site) {
    std::string_view text = site;
    if (startsWithLower(text, "http://"))
        text.remove_prefix(7);
    if (startsWithLower(text, "www."))
        return Text(text.substr(4));
    text = text.substr(0, text.find('/'));
    if (CountText(text, ".", true) > 2)
        text.remove_prefix(text.find('.') + 1);
    return Text(text);
}

int SiteKind(std::string_view site) {
    const size_t slash = site.find('/');
    if (slash != std::string_view::npos)
        return site.substr(slash + 1).find('.') != std::string_view::npos ? 5 : 4;
    const Text domain = ReduceDomain(site);
    if (domain == site)
        return 1;
    if (lowerText("www." + domain) == lowerText(site))
        return 2;
    return 3;
}
