#include "cli/output.h"

#include "text/codepage.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<CapturedOutput*> g_captured{nullptr};

} // namespace

CapturedOutput::CapturedOutput() {
    g_captured = this;
}

CapturedOutput::~CapturedOutput() {
    g_captured = nullptr;
}

QString CapturedOutput::out() const {
    std::lock_guard lock(m_mutex);
    return m_out;
}

QString CapturedOutput::err() const {
    std::lock_guard lock(m_mutex);
    return m_err;
}

void printOut(const QString& line) {
    if (CapturedOutput* captured = g_captured) {
        std::lock_guard lock(captured->m_mutex);
        captured->m_out += line + QLatin1Char('\n');
        return;
    }
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void printErr(const QString& line) {
    if (CapturedOutput* captured = g_captured) {
        std::lock_guard lock(captured->m_mutex);
        captured->m_err += line + QLatin1Char('\n');
        return;
    }
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
}

void ConsoleStatus::SetStatusText(const Text& text) {
    if (!m_verbose)
        return;
    std::lock_guard lock(m_mutex);
    printErr(gbkToQString(text));
}

namespace {

int displayWidth(const QString& text) {
    int width = 0;
    for (const QChar c : text)
        // East Asian wide characters take two cells.
        width += (c.unicode() >= 0x1100 && c.script() != QChar::Script_Latin) ? 2 : 1;
    return width;
}

} // namespace

QString alignedTable(const QStringList& header, const QList<QStringList>& rows) {
    QList<int> widths;
    for (const QString& title : header)
        widths << displayWidth(title);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], displayWidth(row[i]));
    auto line = [&](const QStringList& cells) {
        QString out;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            out += cells[i];
            if (i + 1 < cells.size())
                out += QString(widths[i] - displayWidth(cells[i]) + 2, QLatin1Char(' '));
        }
        return out;
    };
    QString table = line(header);
    for (const QStringList& row : rows)
        table += QLatin1Char('\n') + line(row);
    return table;
}
