#include "cli/arguments.h"

#include "text/codepage.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct OptionInfo {
    const char* name;
    const char* valueName; // nullptr: a switch
};

struct CommandInfo {
    const char* name;
    const char* synopsis; // the lines of the overall usage
    std::vector<OptionInfo> options;
};

// Every command with its own options, in the order the usage lists them.
const std::vector<CommandInfo>& commands() {
    static const std::vector<CommandInfo> commands = {
        {"rank",
         "  rank SITE KEYWORD [--engine ENGINE|all]  find SITE's rank for KEYWORD; ENGINE: baidu,\n"
         "                                          sogou, haosou or an engine added in "
         "Setting.ini\n",
         {{"engine", "ENGINE"}, {"db", "URL"}}},
        {"batch",
         "  batch                                   run the standing batch list of Sort.mdb\n"
         "  batch --worker NAME                     work the day's batch queries of a shared\n"
         "                                          database with other workers: each query\n"
         "                                          is taken by one of them\n"
         "  batch --status                          the day's progress of the workers\n",
         {{"worker", "NAME"}, {"status", nullptr}, {"db", "URL"}}},
        {"send",
         "  send [--threads N] [--passes N]         send the site list through SL.txt\n",
         {{"threads", "N"}, {"passes", "N"}}},
        {"history",
         "  history [--limit N] [--csv | --xlsx FILE]\n"
         "                                          the newest rank results\n"
         "  history --chart FILE --site SITE --keyword KEYWORD\n"
         "                                          draw SITE's ranks for KEYWORD (one line per\n"
         "                                          engine) into a PNG file\n"
         "  history --import FILE                   add the rows of an exported history CSV that\n"
         "                                          the history lacks\n",
         {{"limit", "N"},
          {"csv", nullptr},
          {"xlsx", "FILE"},
          {"chart", "FILE"},
          {"site", "SITE"},
          {"keyword", "KEYWORD"},
          {"import", "FILE"},
          {"db", "URL"}}},
        {"sites", "  sites add URL | sites list              the site list (Url.txt)\n", {}},
        {"templates",
         "  templates check [--threads N]           fetch each link template of SL.txt once, with\n"
         "                                          the first site it suits, and say which work;\n"
         "                                          writes no SendLog.txt\n",
         {{"threads", "N"}}},
    };
    return commands;
}

const CommandInfo* findCommand(const QString& name) {
    for (const CommandInfo& command : commands())
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

const char kCommon[] = R"(
options for every command:
  --dir DIR     the program folder (Setting.ini, Url.txt, SL.txt, Sort.mdb, ...);
                default: this program's folder if it may be written,
                else ~/.local/share/moting-seo
  --verbose     the status-line texts and the browser's own log messages on
                standard error
  --db URL      (rank, batch, history) the rank database: postgresql://user@host:
                port/dbname for a shared one, its password from PGPASSWORD or
                ~/.pgpass; default: [Database] Url of Setting.ini, else Sort.mdb
  --help        this text

exit codes: 0 done (every query ranked or not found), 1 error, 2 wrong usage,
            3 a query was blocked by a verification page, 4 a query failed,
            130 interrupted (Ctrl+C), 143 terminated (SIGTERM))";

[[noreturn]] void refuse(const QString& text) {
    throw UsageError(text.toStdString());
}

int toNumber(const QString& option, const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        refuse(QStringLiteral("%1 needs a whole number, not \"%2\"").arg(option, text));
    return value;
}

QString dashed(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// The position of the command: the first word that is no option and no option's value.
qsizetype commandAt(const QStringList& words) {
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& w = words[i];
        if (w == QLatin1String("--"))
            return i + 1 < words.size() ? i + 1 : -1;
        if (!w.startsWith(QLatin1Char('-')))
            return i;
        // Options that take a value, of any command: their value is no command.
        const QString name = w.mid(w.startsWith(QLatin1String("--")) ? 2 : 1);
        if (name.contains(QLatin1Char('=')))
            continue;
        bool takesValue = name == QLatin1String("dir");
        for (const CommandInfo& command : commands())
            for (const OptionInfo& option : command.options)
                takesValue = takesValue || (name == QLatin1String(option.name) && option.valueName);
        if (takesValue)
            ++i;
    }
    return -1;
}

// An argument as the error shows it: what is UTF-8 as text, every other byte, and every
// control character (a terminal would obey it), as \xNN.
QString shownArgument(std::string_view bytes) {
    QString shown;
    while (!bytes.empty()) {
        const size_t bad = std::min(invalidUtf8At(bytes), bytes.size());
        for (const QChar c : QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bad)))
            shown += c.unicode() < 0x20 || c.unicode() == 0x7F
                         ? byteName(static_cast<unsigned char>(c.unicode()))
                         : QString(c);
        if (bad == bytes.size())
            break;
        shown += byteName(static_cast<unsigned char>(bytes[bad]));
        bytes.remove_prefix(bad + 1);
    }
    return shown;
}

} // namespace

QString nonUtf8ArgumentError(int argc, const char* const argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view bytes(argv[i]);
        const size_t bad = invalidUtf8At(bytes);
        if (bad != std::string_view::npos)
            return QStringLiteral("The argument \"%1\" is not UTF-8: it holds the byte %2")
                .arg(shownArgument(bytes), byteName(static_cast<unsigned char>(bytes[bad])));
    }
    return {};
}

bool hasVerboseOption(const QStringList& words) {
    for (const QString& w : words) {
        if (w == QLatin1String("--"))
            return false;
        if (w == QLatin1String("--verbose") || w == QLatin1String("-v"))
            return true;
    }
    return false;
}

QString usageText(const QString& name) {
    const CommandInfo* command = findCommand(name);
    if (!command) {
        QString text = QStringLiteral("usage: moting-seo-cli COMMAND [options]\n\ncommands:\n");
        for (const CommandInfo& c : commands())
            text += QString::fromUtf8(c.synopsis);
        return text + QString::fromUtf8(kCommon);
    }
    QString text = QStringLiteral("usage: moting-seo-cli %1 [options]\n\n")
                       .arg(QString::fromLatin1(command->name)) +
                   QString::fromUtf8(command->synopsis);
    return text + QString::fromUtf8(kCommon);
}

Options parseArguments(const QStringList& words) {
    Options o;
    const qsizetype at = commandAt(words);
    QStringList rest = words;
    if (at >= 0)
        o.command = rest.takeAt(at);
    const CommandInfo* command = findCommand(o.command);

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption verbose(QStringList{QStringLiteral("v"), QStringLiteral("verbose")});
    const QCommandLineOption dir(QStringLiteral("dir"), {}, QStringLiteral("DIR"));
    parser.addOptions({help, verbose, dir});
    if (command)
        for (const OptionInfo& option : command->options)
            parser.addOption(option.valueName
                                 ? QCommandLineOption(QString::fromLatin1(option.name), {},
                                                      QString::fromLatin1(option.valueName))
                                 : QCommandLineOption(QString::fromLatin1(option.name)));
    if (!parser.parse(QStringList{QStringLiteral("moting-seo-cli")} + rest)) {
        // The parser's own texts, in the words this program has always used.
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString name = parser.unknownOptionNames().first();
            for (const CommandInfo& other : commands())
                for (const OptionInfo& option : other.options)
                    if (command && name == QLatin1String(option.name))
                        refuse(
                            QStringLiteral("%1 takes no option %2").arg(o.command, dashed(name)));
            refuse(QStringLiteral("unknown option %1").arg(dashed(name)));
        }
        const QString error = parser.errorText();
        const qsizetype quote = error.indexOf(QLatin1Char('\''));
        if (error.startsWith(QLatin1String("Missing value after")) && quote >= 0)
            refuse(
                QStringLiteral("%1 needs a value")
                    .arg(error.mid(quote + 1, error.lastIndexOf(QLatin1Char('\'')) - quote - 1)));
        refuse(error);
    }
    o.verbose = parser.isSet(verbose);
    o.dir = parser.value(dir);
    if (parser.isSet(help)) {
        o.args = QStringList{o.command};
        o.command = QStringLiteral("help");
        return o;
    }
    if (o.command.isEmpty())
        refuse(QStringLiteral("no command"));
    o.args = parser.positionalArguments();
    if (!command)
        return o; // said by the caller, with the usage of all
    // Only the command's own options are asked for: the parser warns of any other name.
    auto isSet = [&](const char* name) {
        return std::any_of(
                   command->options.begin(), command->options.end(),
                   [name](const OptionInfo& o) { return std::strcmp(o.name, name) == 0; }) &&
               parser.isSet(QString::fromLatin1(name));
    };
    auto value = [&](const char* name) {
        return isSet(name) ? parser.value(QString::fromLatin1(name)) : QString();
    };
    if (isSet("engine"))
        o.engine = value("engine");
    if (isSet("threads"))
        o.threads = toNumber(QStringLiteral("--threads"), value("threads"));
    if (isSet("passes"))
        o.passes = toNumber(QStringLiteral("--passes"), value("passes"));
    if (isSet("limit"))
        o.limit = std::max(0, toNumber(QStringLiteral("--limit"), value("limit")));
    o.csv = isSet("csv");
    o.xlsx = value("xlsx");
    o.chart = value("chart");
    o.site = value("site");
    o.keyword = value("keyword");
    o.importFile = value("import");
    o.db = value("db");
    o.worker = value("worker");
    o.status = isSet("status");
    if (isSet("worker") && o.worker.trimmed().isEmpty())
        refuse(QStringLiteral("--worker needs a name"));
    if (isSet("worker") && o.status)
        refuse(QStringLiteral("batch takes --worker or --status, not both"));
    return o;
}
