#pragma once

#include <string>
#include <string_view>
#include <vector>

// Result pages of the three engines in the markup they serve today, for the fake engines the
// tests run on the loopback address. The pages carry what makes reading them hard in practice:
// blocks outside the result list that look like results, ads and cards inside it, title links
// that go through the engine, shown hosts that are source names or truncated, snippets that
// name other sites, and destinations written with &amp;. They load no outside resources.
namespace TodayPages {

enum class BlockKind {
    Web,         // an organic result leading to `url`
    Ad,          // an advertisement leading to `url`; not a result
    CardNoUrl,   // a card without a destination; not a result
    CardWithUrl, // a card with a real destination `url`; one result
};

struct Block {
    BlockKind kind = BlockKind::Web;
    std::string url;     // destination, an absolute http/https address; may hold '&'
    std::string title;   // UTF-8
    std::string snippet; // UTF-8 visible text of the block; may name other sites
    std::string shown;   // the visible source/host line; empty: taken from url
};

struct Page {
    int engine = 0;            // 0 Baidu, 1 Sogou, 2 Haosou
    int page = 1;              // from 1
    std::string keyword;       // UTF-8
    std::vector<Block> blocks; // the result list's blocks in page order
    bool hasNext = true;       // whether the pager links to a next page
    // Not empty: a block-like element outside the result list leads to this site (a host).
    std::string decoySite;
};

// Text for markup, good both between tags and inside quoted attributes.
std::string escape(std::string_view text);

// The whole page as UTF-8 markup, the way the engine's server writes it.
std::string resultPage(const Page& page);
// What an engine answers with status 200 when it blocks a client.
std::string verificationPage(int engine);
// What an engine answers when nothing matched keyword: no result blocks at all.
std::string noResultsPage(int engine, const std::string& keyword);

} // namespace TodayPages
