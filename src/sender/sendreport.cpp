#include "sender/sendreport.h"

#include "text/apperror.h"
#include "text/atomicfile.h"
#include "text/codepage.h"
#include "text/csvtext.h"
#include "text/datafile.h"

#include <QFile>

namespace {

bool isTemplate(const Text& line) {
    return !line.empty() && line[0] >= '0' && line[0] <= '9';
}

std::string_view viewOf(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

} // namespace

void TemplateTally::add(const FetchResult& result) {
    ++jobs;
    if (result.ok)
        ++successes;
    else
        ++failures[fetchFailureText(result.failure, result.status)];
}

void TemplateTally::merge(const TemplateTally& other) {
    jobs += other.jobs;
    successes += other.successes;
    for (const auto& [reason, count] : other.failures)
        failures[reason] += count;
}

std::pair<QString, int> TemplateTally::commonestFailure() const {
    std::pair<QString, int> best;
    for (const auto& [reason, count] : failures)
        if (count > best.second)
            best = {reason, count};
    return best;
}

long long SendReport::jobs() const {
    long long total = 0;
    for (const TemplateTally& tally : tallies)
        total += tally.jobs;
    return total;
}

long long SendReport::successes() const {
    long long total = 0;
    for (const TemplateTally& tally : tallies)
        total += tally.successes;
    return total;
}

std::vector<int> SendReport::deadLines() const {
    std::vector<int> dead;
    for (size_t i = 0; i < tallies.size() && i < lines.size(); ++i)
        if (isTemplate(lines[i]) && tallies[i].jobs > 0 && tallies[i].successes == 0)
            dead.push_back(static_cast<int>(i));
    return dead;
}

QString sendEndWord(SendEnd end) {
    switch (end) {
    case SendEnd::Stopped:
        return QStringLiteral("已停止");
    case SendEnd::Failed:
        return QStringLiteral("出错中止");
    case SendEnd::Finished:
        break;
    }
    return QStringLiteral("完成");
}

QString sendSummary(const SendReport& report, SendEnd end) {
    QString counts = QStringLiteral("%1: 成功 %2 / 共 %3")
                         .arg(sendEndWord(end))
                         .arg(report.successes())
                         .arg(report.jobs());
    if (end != SendEnd::Finished)
        return counts;
    return counts + QStringLiteral("; 失效模板 %1 个").arg(report.deadLines().size());
}

QString cleanedSummary(const SendReport& report, int removed) {
    return QStringLiteral("%1: 成功 %2 / 共 %3; 失效模板 0 个 (已清理 %4 个)")
        .arg(sendEndWord(SendEnd::Finished))
        .arg(report.successes())
        .arg(report.jobs())
        .arg(removed);
}

void writeSendReport(const QString& path, const SendReport& report) {
    QString csv = QChar(0xFEFF);
    csv +=
        csvLine({QStringLiteral("行号"), QStringLiteral("模板"), QStringLiteral("任务"),
                 QStringLiteral("成功"), QStringLiteral("主要失败原因"), QStringLiteral("次数")}) +
        QStringLiteral("\r\n");
    for (size_t i = 0; i < report.lines.size(); ++i) {
        if (!isTemplate(report.lines[i]))
            continue;
        const TemplateTally tally = i < report.tallies.size() ? report.tallies[i] : TemplateTally();
        const auto [reason, count] = tally.commonestFailure();
        csv += csvLine({QString::number(i + 1), gbkToQString(report.lines[i]),
                        QString::number(tally.jobs), QString::number(tally.successes), reason,
                        count > 0 ? QString::number(count) : QString()}) +
               QStringLiteral("\r\n");
    }
    const QByteArray bytes = csv.toUtf8();
    if (!replaceFileAtomically(path, viewOf(bytes)))
        throw AppError(QStringLiteral("Cannot create file %1").arg(path));
}

int removeDeadTemplates(const QString& path, const SendReport& report) {
    const QByteArray old = readDataFile(path);
    // Lines are compared as the run read them (a UTF-8 file's converted to GBK) and kept as
    // the file holds them.
    const FileLines read = readFileLines(old);
    std::string_view raw = viewOf(old);
    Text kept;
    if (read.utf8) {
        raw.remove_prefix(3);
        kept = "\xEF\xBB\xBF";
    }
    const TextList lines = splitFileLines(raw);
    std::vector<Text> dead;
    for (const int line : report.deadLines())
        dead.push_back(report.lines[static_cast<size_t>(line)]);
    int removed = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        // The file may have been edited since the run: only a line that still reads as the
        // dead template goes, each dead one once.
        const auto match = std::find(dead.begin(), dead.end(), read.lines[i]);
        if (match != dead.end()) {
            dead.erase(match);
            ++removed;
            continue;
        }
        kept += lines[i] + "\r\n";
    }
    if (removed == 0)
        return 0;
    if (!replaceFileAtomically(path + QStringLiteral(".bak"), viewOf(old)))
        throw AppError(QStringLiteral("Cannot create file %1.bak").arg(path));
    if (!replaceFileAtomically(path, kept))
        throw AppError(QStringLiteral("Cannot create file %1").arg(path));
    return removed;
}

QString sendProgressText(long long done, long long total, qint64 elapsedMs) {
    QString text = QStringLiteral("%1/%2").arg(done).arg(total);
    // An estimate from the first second or the first few jobs would jump about.
    if (done >= 5 && done < total && elapsedMs >= 1000) {
        const qint64 left =
            static_cast<qint64>(static_cast<double>(elapsedMs) * static_cast<double>(total - done) /
                                static_cast<double>(done) / 1000.0);
        text +=
            QStringLiteral(" · 剩余 %1:%2").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
    }
    return text;
}
