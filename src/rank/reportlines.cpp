#include "rank/reportlines.h"

#include "rank/engines.h"
#include "text/codepage.h"

namespace {

// "site" 在 engine 关键词 "keyword"
QString subject(const RankOutcome& o) {
    return QStringLiteral("\"") + gbkToQString(o.site) + QStringLiteral("\" 在 ") +
           SortQuerySearcherTypeGetText(o.engine) + QStringLiteral(" 关键词 \"") +
           gbkToQString(o.keyword) + QStringLiteral("\"");
}

} // namespace

QString rankChange(int rank, std::optional<int> previous) {
    if (rank <= 0)
        return QStringLiteral("—");
    if (!previous || *previous <= 0)
        return QStringLiteral("新");
    if (rank < *previous)
        return QStringLiteral("↑%1").arg(*previous - rank);
    if (rank > *previous)
        return QStringLiteral("↓%1").arg(rank - *previous);
    return QStringLiteral("=");
}

QString reportLine(const RankOutcome& outcome) {
    const QueryResult& r = outcome.result;
    switch (r.outcome) {
    case Outcome::Ranked:
        return subject(outcome) + QStringLiteral(" 查询中排名第 ") + QString::number(r.rank) +
               QStringLiteral(" 位") +
               (r.stored ? QStringLiteral("（%1）").arg(rankChange(r.rank, r.previous))
                         : QString()) +
               QStringLiteral("\r\n");
    case Outcome::Blocked:
        return subject(outcome) + QStringLiteral(" 查询中遇到验证页面，没有结果: ") + r.reason +
               QStringLiteral("\r\n");
    case Outcome::Failed:
        return subject(outcome) + QStringLiteral(" 查询失败，没有结果: ") + r.reason +
               QStringLiteral("\r\n");
    case Outcome::NotFound:
    case Outcome::Stopped:
        break;
    }
    return {};
}

QString outcomeLine(const RankOutcome& outcome) {
    const QueryResult& r = outcome.result;
    if (r.outcome == Outcome::NotFound)
        return subject(outcome) + QStringLiteral(" 的前 %1 页中未找到").arg(r.pages) +
               (r.results > 0 ? QStringLiteral("（共 %1 个结果）").arg(r.results) : QString());
    QString line = reportLine(outcome);
    line.chop(2);
    // The verification can be passed only where a person sees the page.
    if (r.outcome == Outcome::Blocked)
        line += QStringLiteral("（请在窗口程序中运行一次查询并完成验证，之后命令行也能通过）");
    if (r.outcome == Outcome::Ranked && !r.url.isEmpty())
        line += QLatin1Char(' ') + r.url;
    return line;
}
