#pragma once

#include "rank/engines.h"
#include "rank/pageloader.h"

#include <QString>
#include <vector>

// One result block of a loaded page as the recipe reads it.
struct PageResult {
    QString url; // the destination as the page writes it
    QString title;
};

// What the recipe's script found on a loaded page.
struct PageReading {
    QString error;  // the script could not run (a selector the browser refuses, no answer)
    int blocks = 0; // blocks of the result list, before any is skipped
    std::vector<PageResult> results; // blocks not skipped that name a destination, in order
    bool pagerShown = false;
    bool nextShown = false;
    bool blockedSign = false; // the recipe's verification element is on the page
    QString text;             // the page's text, only when it holds no result
};

// The script that reads a page by the recipe; its value is a JSON text for readPageAnswer.
QString resultScript(const ResultRecipe& recipe);
PageReading readPageAnswer(const QString& json);

// A recipe's pattern matches text. An empty pattern matches nothing, and so does one the user
// wrote wrongly. Patterns are compiled once: the same few are matched on every page.
bool patternMatches(const QString& pattern, const QString& text, bool ignoreCase = false);

// The page is the engine's verification page, by its address after redirects or its title;
// or, once read, by the recipe's element or text.
bool showsBlock(const ResultRecipe& recipe, const LoadedPage& loaded);
bool showsBlock(const ResultRecipe& recipe, const PageReading& reading);

// The page is the engine's last: the recipe's pager is shown without a next link.
bool isLastPage(const ResultRecipe& recipe, const PageReading& reading);

// A real destination: an http or https address with a host that is not one of the engine's
// pseudo hosts.
bool isDestination(const QString& url, const ResultRecipe& recipe);

// A site as the user types it: "www.example.com", "example.com/blog", "https://m.example.com".
// A destination is the site's when its host is the site's host or a subdomain of it (a
// leading "www." ignored on both sides) and, when a path was typed, its path starts with it.
class SiteMatcher {
public:
    explicit SiteMatcher(const QString& typed);
    bool matches(const QString& url) const;

private:
    QString m_host; // ACE, lower case, without "www."
    QString m_path; // as typed, from its "/"; empty when none was typed
};
