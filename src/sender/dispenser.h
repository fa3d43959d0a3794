#pragma once

#include "text/text.h"

#include <QString>
#include <functional>
#include <mutex>

class SiteList;

// The job dispenser: every template filled with every site it suits, pass after pass. The
// template moves fastest, then the site, then the pass. Workers call NextJob at once from many
// threads; each call is one indivisible step under DispenserLock.
class Dispenser {
public:
    // passCount is read at every step, so a change during a run counts at once.
    Dispenser(const SiteList& sites, std::function<int()> passCount);

    // Empties the templates and loads "SL.txt" (any line-end form); a missing file gives no
    // templates. Throws AppError "Cannot open file <path>" for a file that cannot be read,
    // leaving the templates empty.
    void LoadTemplates(const QString& path);
    // At least one line is a template (starts with its digit).
    bool hasTemplates();
    // Back to pass 1, first site, first template.
    void reset();

    // The next URL to fetch, or the empty text when none is left. Lines whose first byte is no
    // digit and pairs that would give an empty URL are passed over. templateLine, when given,
    // gets the index of the template line the URL was filled from.
    Text NextJob(int* templateLine = nullptr);

    // The lines of "SL.txt" as loaded, templates or not.
    TextList lines();

    // How many jobs a run started now would hand out if nothing changed during it.
    long long jobCount();

private:
    const SiteList& m_sites;
    std::function<int()> m_passCount;

    std::recursive_mutex DispenserLock;
    TextList Templates;
    int SendPass = 1;
    int SiteIndex = 0;
    int TemplateIndex = 0;
};

// What a user is told when a send run has no templates: what "SL.txt" is and where it goes.
QString noTemplatesMessage(const QString& path);

// A template body with the site filled in: "{_url}" takes the site with "_" for ".", otherwise
// "{@url}" takes the site as it is; both placeholders match in any case.
Text fillTemplate(std::string_view body, const Text& site);
