#include "rank/reportlines.h"

#include <gtest/gtest.h>

namespace {

TEST(QueryRunner, RankChange) {
    const struct {
        int rank;
        std::optional<int> previous;
        const char* change;
    } cases[] = {
        {3, std::nullopt, "新"}, {3, 0, "新"}, {3, 6, "↑3"}, {9, 2, "↓7"}, {4, 4, "="}, {0, 5, "—"},
        {0, std::nullopt, "—"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rankChange(c.rank, c.previous), QString::fromUtf8(c.change)) << c.rank;
}

// The report says the change only for a rank that was stored, against the days before.
TEST(QueryRunner, ReportLineWithChange) {
    RankOutcome o{"www.a.cn", "seo", 0, {}};
    o.result.outcome = Outcome::Ranked;
    o.result.rank = 2;
    EXPECT_EQ(reportLine(o),
              QStringLiteral("\"www.a.cn\" 在 百度 关键词 \"seo\" 查询中排名第 2 位\r\n"));
    o.result.stored = true;
    o.result.previous = 5;
    EXPECT_EQ(reportLine(o),
              QStringLiteral("\"www.a.cn\" 在 百度 关键词 \"seo\" 查询中排名第 2 位（↑3）\r\n"));
    o.result.url = QStringLiteral("https://www.a.cn/x");
    EXPECT_EQ(outcomeLine(o), QStringLiteral("\"www.a.cn\" 在 百度 关键词 \"seo\" 查询中排名第 2 "
                                             "位（↑3） https://www.a.cn/x"));
}

} // namespace
