#pragma once

#include "sender/httpfetch.h"
#include "text/text.h"

#include <QString>
#include <map>
#include <vector>

// What happened to the jobs of one template line in a send run.
struct TemplateTally {
    int jobs = 0;
    int successes = 0;
    std::map<QString, int> failures; // by reason (fetchFailureText)

    void add(const FetchResult& result);
    void merge(const TemplateTally& other);
    // The commonest reason and its count; the first in order on a tie.
    std::pair<QString, int> commonestFailure() const;
};

// A send run's account by template line: which templates work and which are dead.
struct SendReport {
    TextList lines;                     // "SL.txt" as the run loaded it
    std::vector<TemplateTally> tallies; // by line; lines that are no template stay empty

    long long jobs() const;
    long long successes() const;
    // Lines that are templates, had jobs in the run and never succeeded (0-based).
    std::vector<int> deadLines() const;
};

// How a send run ended: every job handed out, stopped on request (the button, Ctrl+C), or
// ended by a file that could not be written.
enum class SendEnd { Finished, Stopped, Failed };

// "完成", "已停止" or "出错中止".
QString sendEndWord(SendEnd end);

// "完成: 成功 N / 共 M; 失效模板 K 个". A run cut short says how it ended and leaves the dead
// templates out, as only a whole run tells them: "已停止: 成功 N / 共 M".
QString sendSummary(const SendReport& report, SendEnd end = SendEnd::Finished);
// The summary of a whole run once its dead templates have left "SL.txt", removed being those
// the file still held: "完成: 成功 N / 共 M; 失效模板 0 个 (已清理 R 个)".
QString cleanedSummary(const SendReport& report, int removed);

// "SendReport.csv": UTF-8 with a byte-order mark, one row per template line (行号, 模板, 任务,
// 成功, 主要失败原因, 次数), written whole or not at all. Throws AppError when it cannot be.
void writeSendReport(const QString& path, const SendReport& report);

// Rewrites the template file without the report's dead lines, the old file kept as
// "<path>.bak"; a line that changed since the run stays. Returns how many lines went. Throws
// AppError when a file cannot be read or written, leaving the templates as they were.
int removeDeadTemplates(const QString& path, const SendReport& report);

// "done/total · 剩余 m:ss" once the run has gone long enough to tell.
QString sendProgressText(long long done, long long total, qint64 elapsedMs);
