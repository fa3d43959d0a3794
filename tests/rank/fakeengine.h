#pragma once

#include "testserver.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// The three search engines on a loopback server. It answers each engine's result-page
// addresses with ten results in that engine's markup (Baidu: every result ends in its snapshot
// link; Sogou: results between a header and the list start, separated by two comments; Haosou:
// a list that opens each result with its heading), with scripts, styles, comments and
// entities around them, and counts the pages it serves. Every other request gets 404.
class FakeEngine {
public:
    enum class Charset { Gbk, Utf8, Alternating }; // Alternating: odd pages GBK, even UTF-8

    // Where a keyword's site shows. Text is UTF-8.
    struct Placement {
        std::string site;
        int page = 0;   // 1-50; 0: in no result
        int index = -1; // 0-9 on that page; -1: in no result
        // Shown also in the page header of every page, outside the result list. Baidu's page
        // has no list bounds, so there it counts as the first result.
        bool inHeader = false;
    };

    struct Request {
        int engine;          // 0 Baidu, 1 Sogou, 2 Haosou
        int page;            // from 1
        std::string keyword; // decoded from the address, UTF-8
    };

    FakeEngine();

    // "http://127.0.0.1:<port>", what the engine addresses are set to.
    std::string address() const;

    // Result pages for keyword show placement's site. A site also appears on every page inside
    // a script, a style, a comment and attributes of the first result, none of them text.
    void place(const std::string& keyword, Placement placement);
    void setCharset(Charset charset);
    // Called on the server's thread for every result page, before it is answered.
    void setOnPage(std::function<void(const Request&)> onPage);

    int pagesServed() const;
    std::vector<Request> served() const;

    // The page for one request, as UTF-8 markup the way the engine's server writes it.
    static std::string ResultPageHtml(int engine, int page, const std::string& keyword,
                                      const Placement& placement, const char* charsetName);

private:
    TestResponse answer(const std::string& request);

    TestServer m_server;
    mutable std::mutex m_mutex;
    std::map<std::string, Placement> m_placements;
    Charset m_charset = Charset::Alternating;
    std::function<void(const Request&)> m_onPage;
    std::vector<Request> m_served;
};

// Points all three engines at address in <programDir>/Setting.ini and takes the pause between
// result pages away. Returns false when the file cannot be written.
bool WriteEngineSettings(const QString& programDir, const std::string& address,
                         bool sortToDb = true);

// Stored ranks as "site|keyword|engine|rank", oldest first, read straight from
// <programDir>/Sort.mdb; a missing file is left missing.
QStringList StoredRanks(const QString& programDir);
// One such entry.
QString Stored(const QString& site, const QString& keyword, int engine, int rank);
// The pages served, as "engine:page:keyword" joined by spaces.
QString Served(const std::vector<FakeEngine::Request>& requests);
