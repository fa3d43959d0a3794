#include "text/apperror.h"
#include "text/csvtext.h"

#include <gtest/gtest.h>

namespace {

// What CsvLine writes, ReadCsv reads back field for field.
TEST(Csv, ReadsWhatIsWritten) {
    const QList<QStringList> rows{
        {"网址", "关键词", "排名"},         {"a.com", "k,5", "1"}, {"o'b.com", "say \"hi\"", ""},
        {" spaced ", "two\r\nlines", "\t"}, {"", "", ""},
    };
    QString text = QChar(0xFEFF);
    for (const QStringList& row : rows)
        text += csvLine(row) + "\r\n";
    EXPECT_EQ(readCsv(text.toUtf8()), rows);
    // Without the byte-order mark, with bare line feeds, without a last line break.
    EXPECT_EQ(readCsv("a,b\nc,\"d\"\"\""), (QList<QStringList>{{"a", "b"}, {"c", "d\""}}));
    EXPECT_EQ(readCsv("\n\r\na\n\n"), QList<QStringList>{{"a"}});
    EXPECT_EQ(readCsv(""), QList<QStringList>());
}

TEST(Csv, MalformedTextIsNamed) {
    const struct {
        QByteArray csv;
        const char* said;
    } cases[] = {
        {"a,b\nc,\"d\"x\n", "The CSV text is malformed at line 2"},
        {"a,b\nc,d\"\n", "The CSV text is malformed at line 2"},
        {"a\nb\n\"never closed\n",
         "The CSV text is malformed: a quoted field that begins in record 3"},
        // Read on, such bytes would be stored as U+FFFD.
        {"a,\xB0\xA1\n", "The CSV text is not UTF-8: line 1 holds the byte \\xB0"}, // GBK
        {"a,b\n\"c\nd\xFF\",e\n", "The CSV text is not UTF-8: line 3 holds the byte \\xFF"},
        {"\xEF\xBB\xBFk,na\xEF\xBB\xBF\xED\xA0\x80\n",
         "The CSV text is not UTF-8: line 1 holds the byte \\xED"}, // U+D800
    };
    for (const auto& c : cases) {
        try {
            readCsv(c.csv);
            ADD_FAILURE() << c.csv.constData() << " was read";
        } catch (const AppError& e) {
            EXPECT_TRUE(e.message().startsWith(QString::fromUtf8(c.said)))
                << e.message().toStdString();
        }
    }
}

} // namespace
