#include "sender/dispenser.h"

#include "sender/sitekind.h"
#include "sender/sitelist.h"
#include "text/apperror.h"
#include "text/datafile.h"
#include "text/strsearch.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace {

// The highest site kind a template line suits, or -1 for a line that is no template.
int templateDigit(const Text& line) {
    return !line.empty() && line[0] >= '0' && line[0] <= '9' ? line[0] - '0' : -1;
}

} // namespace

Text fillTemplate(std::string_view body, const Text& site) {
    if (PosFrom("{_url}", body, 1) > 0)
        return ReplaceText(body, "{_url}", ReplaceText(site, ".", "_", false), false);
    return ReplaceText(body, "{@url}", site, false);
}

Dispenser::Dispenser(const SiteList& sites, std::function<int()> passCount)
    : m_sites(sites), m_passCount(std::move(passCount)) {}

void Dispenser::LoadTemplates(const QString& path) {
    std::lock_guard lock(DispenserLock);
    Templates.clear();
    QFile file(path);
    // No file yet is no template yet.
    if (!file.exists())
        return;
    // A byte-order mark (an editor's UTF-8) is no part of the first template.
    Templates = readFileLines(readDataFile(path)).lines;
}

void Dispenser::reset() {
    std::lock_guard lock(DispenserLock);
    SendPass = 1;
    SiteIndex = 0;
    TemplateIndex = 0;
}

TextList Dispenser::lines() {
    std::lock_guard lock(DispenserLock);
    return Templates;
}

Text Dispenser::NextJob(int* templateLine) {
    std::lock_guard lock(DispenserLock);
    for (;;) {
        const int templateCount = static_cast<int>(Templates.size());
        if (SendPass > m_passCount() || templateCount == 0 || m_sites.size() == 0)
            return {};
        const Text site = m_sites.at(SiteIndex);
        const int lineIndex = TemplateIndex;
        const Text& line = Templates[static_cast<size_t>(lineIndex)];
        if (++TemplateIndex >= templateCount) {
            ++SiteIndex;
            TemplateIndex = 0;
        }
        if (SiteIndex >= m_sites.size()) {
            ++SendPass;
            SiteIndex = 0;
        }
        const int digit = templateDigit(line);
        if (digit < SiteKind(site))
            continue;
        // An empty URL would end the worker that got it while jobs remain; pass it over.
        Text job = fillTemplate(std::string_view(line).substr(1), site);
        if (!job.empty()) {
            if (templateLine)
                *templateLine = lineIndex;
            return job;
        }
    }
}

bool Dispenser::hasTemplates() {
    std::lock_guard lock(DispenserLock);
    return std::any_of(Templates.begin(), Templates.end(),
                       [](const Text& line) { return templateDigit(line) >= 0; });
}

QString noTemplatesMessage(const QString& path) {
    return QStringLiteral("没有链接模板，无法群发。请把链接模板写进 %1：每行一个模板，先写一个数字"
                          "（模板适用的最高网址类型，5 到 9 适用于所有网址），紧接着写网址，"
                          "用 {_url} 或 {@url} 代表您的网址，例如 "
                          "5http://www.example.com/whois/{@url}")
        .arg(QDir::toNativeSeparators(path));
}

long long Dispenser::jobCount() {
    std::lock_guard lock(DispenserLock);
    long long perPass = 0;
    for (const Text& site : m_sites.entries()) {
        const int kind = SiteKind(site);
        for (const Text& line : Templates)
            if (templateDigit(line) >= kind &&
                !(site.empty() ? fillTemplate(std::string_view(line).substr(1), site).empty()
                               : line.size() == 1))
                ++perPass;
    }
    return perPass * std::max(0, m_passCount());
}
