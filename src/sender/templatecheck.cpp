#include "sender/templatecheck.h"

#include "sender/dispenser.h"
#include "sender/sitekind.h"

#include <thread>
#include <vector>

SendReport checkTemplates(const TextList& lines, const TextList& sites, FetchOptions options,
                          int workers, const std::atomic<bool>* abort) {
    SendReport report;
    report.lines = lines;
    report.tallies.resize(lines.size());
    struct Job {
        size_t line;
        Text url;
    };
    std::vector<Job> jobs;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Text& line = lines[i];
        if (line.empty() || line[0] < '0' || line[0] > '9')
            continue;
        for (const Text& site : sites) {
            if (line[0] - '0' < SiteKind(site))
                continue;
            Text url = fillTemplate(std::string_view(line).substr(1), site);
            if (!url.empty()) {
                jobs.push_back({i, std::move(url)});
                break;
            }
        }
    }
    options.abort = abort;
    // Each job writes its own line's tally only, so the threads share nothing but the index.
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t j = next++; j < jobs.size(); j = next++) {
            const FetchResult result = fetchOnce(jobs[j].url, options);
            if (result.failure != FetchFailure::Aborted)
                report.tallies[jobs[j].line].add(result);
        }
    };
    std::vector<std::thread> threads;
    auto joinAll = [&] {
        for (std::thread& thread : threads)
            thread.join();
    };
    try {
        for (int t = 0; t < std::max(1, workers) && static_cast<size_t>(t) < jobs.size(); ++t)
            threads.emplace_back(work);
    } catch (...) {
        // No more threads to be had: the ones started finish the jobs.
        if (threads.empty())
            throw;
    }
    joinAll();
    return report;
}
