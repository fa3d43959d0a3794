#include "app/application.h"
#include "app/messagebox.h"
#include "testsupport.h"

#include <QMetaMethod>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

bool hasTestFunction(const QObject& test, QByteArray name) {
    if (const qsizetype colon = name.indexOf(':'); colon >= 0)
        name.truncate(colon); // "function:data tag"
    const QMetaObject* meta = test.metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        if (meta->method(i).name() == name)
            return true;
    return false;
}

} // namespace

// The program's own Application, so an error escaping a handler meets the real error report;
// message boxes are recorded instead of shown. Function names on the command line go to the
// class that has them, so one test can be run alone; --class=Name runs that class only, so
// each class can be its own ctest entry.
int main(int argc, char** argv) {
    Application::prepare();
    Application app(argc, argv);
    MessageBox::setTestMode(true);

    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(makeMainFormTest());
    tests.push_back(makeDialogsTest());
    tests.push_back(makeSendTabTest());
    tests.push_back(makeHistoryTest());
    tests.push_back(makeHistoryTrendTest());
    tests.push_back(makeRankQueryTest());
    tests.push_back(makeRankRunTest());
    tests.push_back(makeBatchQueryTest());

    QByteArray onlyClass;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg.startsWith("--class="))
            onlyClass = arg.mid(8);
        else
            rest.push_back(argv[i]);
    }
    if (!onlyClass.isEmpty() && std::none_of(tests.begin(), tests.end(), [&](const auto& test) {
            return onlyClass == test->metaObject()->className();
        })) {
        std::fprintf(stderr, "no test class %s\n", onlyClass.constData());
        return 1;
    }
    auto ownedByAny = [&](const QByteArray& arg) {
        for (const auto& test : tests)
            if (hasTestFunction(*test, arg))
                return true;
        return false;
    };
    int failures = 0;
    for (const auto& test : tests) {
        if (!onlyClass.isEmpty() && onlyClass != test->metaObject()->className())
            continue;
        std::vector<char*> args{rest[0]};
        bool named = false;
        bool mine = false;
        for (size_t i = 1; i < rest.size(); ++i) {
            if (rest[i][0] != '-' && ownedByAny(rest[i])) {
                named = true;
                if (!hasTestFunction(*test, rest[i]))
                    continue;
                mine = true;
            }
            args.push_back(rest[i]);
        }
        if (named && !mine)
            continue;
        failures += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
    }
    return failures == 0 ? 0 : 1;
}
