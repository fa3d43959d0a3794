#include "sender/dispenser.h"
#include "sender/sitelist.h"
#include "text/apperror.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

void writeAll(const QString& path, const std::string& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
}

std::string lines(const TextList& lines) {
    std::string file;
    for (const Text& line : lines)
        file += line + "\r\n";
    return file;
}

// A program folder with "SL.txt", a site list and a pass count the test can change mid-run.
struct SendSetup {
    SendSetup(const TextList& siteEntries, const std::string& templateFile, int passCount)
        : passes(passCount) {
        for (const Text& site : siteEntries)
            sites.append(site);
        writeAll(templatePath(), templateFile);
        dispenser.LoadTemplates(templatePath());
    }
    QString templatePath() const { return dir.filePath("SL.txt"); }

    QTemporaryDir dir;
    SiteList sites;
    std::atomic<int> passes;
    Dispenser dispenser{sites, [this] { return passes.load(); }};
};

// Every job up to the first empty text; the bound stops a dispenser that never ends.
TextList drain(Dispenser& dispenser) {
    TextList jobs;
    for (Text job = dispenser.NextJob(); !job.empty() && jobs.size() < 100000;
         job = dispenser.NextJob())
        jobs.push_back(job);
    return jobs;
}

TextList take(Dispenser& dispenser, int count) {
    TextList jobs;
    for (int i = 0; i < count; ++i)
        jobs.push_back(dispenser.NextJob());
    return jobs;
}

const TextList kExampleSites = {"example.com", "www.example.org"};
const std::string kExampleTemplates =
    lines({"1http://one.example/?u={@url}", "2http://two.example/{_url}"});
const TextList kExamplePass = {"http://one.example/?u=example.com",
                               "http://two.example/example_com",
                               "http://two.example/www_example_org"};

TextList repeat(const TextList& pass, int times) {
    TextList jobs;
    for (int i = 0; i < times; ++i)
        jobs.insert(jobs.end(), pass.begin(), pass.end());
    return jobs;
}

TEST(Dispenser, HandsOutEveryJobInOrder) {
    const struct {
        const char* name;
        TextList sites;
        std::string templates;
        int passes;
        TextList jobs;
    } cases[] = {
        {"one pass", kExampleSites, kExampleTemplates, 1, kExamplePass},
        {"two passes", kExampleSites, kExampleTemplates, 2, repeat(kExamplePass, 2)},
        {"digits 0 and 9",
         {"example.com", "www.example.com", "a.b.c.d", "example.com/news", "example.com/a.htm"},
         lines({"0http://zero/{@url}", "9http://nine/{@url}", "3http://three/{@url}"}),
         1,
         {"http://nine/example.com", "http://three/example.com", "http://nine/www.example.com",
          "http://three/www.example.com", "http://nine/a.b.c.d", "http://three/a.b.c.d",
          "http://nine/example.com/news", "http://nine/example.com/a.htm"}},
        {"placeholders",
         {"a.b.com"},
         lines({"5http://x/{_URL}", "5http://x/{@URL}", "5http://x/{_url}/{@url}",
                "5http://x/{_url}/{_URL}/{_Url}", "5http://x/?a={@url}&b={@url}", "5http://fixed/",
                "5 http://x/{@url} "}),
         1,
         {"http://x/{_URL}", "http://x/a.b.com", "http://x/a_b_com/{@url}",
          "http://x/a_b_com/a_b_com/a_b_com", "http://x/?a=a.b.com&b=a.b.com", "http://fixed/",
          " http://x/a.b.com "}},
        {"GBK site sent unencoded",
         {"\xD6\xD0\xCE\xC4.com"},
         lines({"1http://x/{_url}", "1http://x/{@url}"}),
         1,
         {"http://x/\xD6\xD0\xCE\xC4_com", "http://x/\xD6\xD0\xCE\xC4.com"}},
        {"lines that are no templates",
         {"a.com", "b.com"},
         lines({"1", "xhttp://no/{@url}", "", " 1http://no/{@url}", "1http://yes/{@url}", "1"}),
         2,
         {"http://yes/a.com", "http://yes/b.com", "http://yes/a.com", "http://yes/b.com"}},
        {"blank site",
         {"", "a.com"},
         lines({"1{@url}", "1{_url}", "1http://x/{@url}"}),
         1,
         {"http://x/", "a.com", "a_com", "http://x/a.com"}},
        {"no template suits", {"a.com/x.htm"}, lines({"4http://x/{@url}"}), 3, {}},
        {"no sites", {}, kExampleTemplates, 1, {}},
        {"no templates", kExampleSites, "", 1, {}},
        {"only blank lines", kExampleSites, "\r\n\r\n", 1, {}},
        {"no passes", kExampleSites, kExampleTemplates, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SendSetup run(c.sites, c.templates, c.passes);
        EXPECT_EQ(run.dispenser.jobCount(), (long long)c.jobs.size());
        EXPECT_EQ(drain(run.dispenser), c.jobs);
        EXPECT_EQ(take(run.dispenser, 3), TextList(3));

        run.dispenser.reset();
        EXPECT_EQ(drain(run.dispenser), c.jobs);
    }
}

TEST(Dispenser, ResetMidRunStartsOver) {
    SendSetup run(kExampleSites, kExampleTemplates, 2);
    take(run.dispenser, 4);
    run.dispenser.reset();
    EXPECT_EQ(drain(run.dispenser), repeat(kExamplePass, 2));
}

TEST(Dispenser, PassCountIsReadAtEveryCall) {
    const struct {
        const char* name;
        int passes;
        int taken;
        int newPasses;
        TextList rest;
    } cases[] = {
        {"lowered below the current pass", 2, 4, 1, {}},
        {"lowered to zero", 2, 1, 0, {}},
        {"lowered to the current pass", 3, 1, 1, {kExamplePass[1], kExamplePass[2]}},
        {"raised mid-pass",
         1,
         1,
         2,
         {kExamplePass[1], kExamplePass[2], kExamplePass[0], kExamplePass[1], kExamplePass[2]}},
        {"raised after the end", 1, 3, 2, kExamplePass},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SendSetup run(kExampleSites, kExampleTemplates, c.passes);
        take(run.dispenser, c.taken);
        run.passes = c.newPasses;
        EXPECT_EQ(drain(run.dispenser), c.rest);
        EXPECT_EQ(take(run.dispenser, 3), TextList(3));
    }
}

TEST(Dispenser, SiteAddedMidRunIsSeen) {
    SendSetup run({"a.com"}, lines({"1http://one/{@url}", "2http://two/{@url}"}), 1);
    EXPECT_EQ(run.dispenser.NextJob(), "http://one/a.com");
    run.sites.append("www.b.com");
    EXPECT_EQ(run.dispenser.jobCount(), 3);
    EXPECT_EQ(drain(run.dispenser), (TextList{"http://two/a.com", "http://two/www.b.com"}));
}

TEST(Dispenser, ConcurrentCallersShareEveryJobOnce) {
    TextList manySites;
    for (int i = 0; i < 30; ++i) {
        const std::string n = std::to_string(i);
        const char* forms[] = {"s", "www.s", "a.b.s", "s/p", "s/p.htm"};
        manySites.push_back(std::string(forms[i % 5]) + n + (i % 5 < 3 ? ".com" : ""));
    }
    const struct {
        const char* name;
        TextList sites;
        std::string templates;
        int passes;
    } cases[] = {
        {"more callers than jobs", kExampleSites, kExampleTemplates, 1},
        {"many jobs", manySites,
         lines({"1http://a/{@url}", "2http://b/{_url}", "3http://c/{@url}", "1", "5http://e/{@url}",
                "0http://f/{@url}", "9http://g/"}),
         3},
    };
    constexpr int kThreads = 8;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SendSetup serial(c.sites, c.templates, c.passes);
        TextList expected = drain(serial.dispenser);
        ASSERT_EQ((long long)expected.size(), serial.dispenser.jobCount());

        SendSetup run(c.sites, c.templates, c.passes);
        std::vector<TextList> got(kThreads);
        std::atomic<int> jobsAfterEnd{0};
        std::vector<std::thread> workers;
        for (int t = 0; t < kThreads; ++t)
            workers.emplace_back([&, t] {
                got[size_t(t)] = drain(run.dispenser);
                for (int i = 0; i < 5; ++i)
                    if (!run.dispenser.NextJob().empty())
                        ++jobsAfterEnd;
            });
        for (std::thread& w : workers)
            w.join();

        TextList all;
        for (const TextList& jobs : got)
            all.insert(all.end(), jobs.begin(), jobs.end());
        std::sort(all.begin(), all.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(all, expected);
        EXPECT_EQ(jobsAfterEnd.load(), 0);
    }
}

TEST(Dispenser, LoadsEveryLineEnd) {
    const struct {
        const char* name;
        std::string file;
        TextList jobs;
    } cases[] = {
        {"CR LF", "1http://x/1\r\n1http://x/2\r\n", {"http://x/1", "http://x/2"}},
        {"LF", "1http://x/1\n1http://x/2\n", {"http://x/1", "http://x/2"}},
        {"CR", "1http://x/1\r1http://x/2\r", {"http://x/1", "http://x/2"}},
        {"no final break", "1http://x/1\r\n1http://x/2", {"http://x/1", "http://x/2"}},
        {"mixed",
         "1http://x/1\r1http://x/2\n1http://x/3\r\n1http://x/4",
         {"http://x/1", "http://x/2", "http://x/3", "http://x/4"}},
        {"blank lines",
         "\r\n1http://x/1\n\n\r\r\n1http://x/2\r\n\r\n",
         {"http://x/1", "http://x/2"}},
        {"empty", "", {}},
        // An editor's UTF-8 mark is no part of the first template.
        {"UTF-8 with its mark",
         "\xEF\xBB\xBF"
         "1http://x/1\r\n1http://x/\xE4\xB8\xAD\r\n",
         {"http://x/1", "http://x/\xD6\xD0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SendSetup run({"a.com"}, c.file, 1);
        EXPECT_EQ(drain(run.dispenser), c.jobs);
    }
}

TEST(Dispenser, ReloadReplacesTheTemplates) {
    SendSetup run({"a.com"}, lines({"1http://old/1", "1http://old/2"}), 1);
    writeAll(run.templatePath(), lines({"1http://new/{@url}"}));
    run.dispenser.LoadTemplates(run.templatePath());
    run.dispenser.reset();
    EXPECT_EQ(run.dispenser.jobCount(), 1);
    EXPECT_EQ(drain(run.dispenser), (TextList{"http://new/a.com"}));
}

// No file yet is no template; a file that cannot be read is an error. Either way nothing of
// the templates before is left.
TEST(Dispenser, MissingOrUnreadableTemplateFile) {
    SendSetup run(kExampleSites, kExampleTemplates, 1);
    EXPECT_TRUE(run.dispenser.hasTemplates());
    run.dispenser.LoadTemplates(run.dir.filePath("none/SL.txt"));
    EXPECT_FALSE(run.dispenser.hasTemplates());
    EXPECT_EQ(run.dispenser.jobCount(), 0);

    SendSetup again(kExampleSites, kExampleTemplates, 1);
    const QString folder = again.dir.filePath("folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    try {
        again.dispenser.LoadTemplates(folder);
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(e.message(), "Cannot open file " + folder);
    }
    again.dispenser.reset();
    EXPECT_FALSE(again.dispenser.hasTemplates());
    EXPECT_EQ(again.dispenser.NextJob(), "");
}

} // namespace
