#include "app/qttranslations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>
#include <memory>
#include <vector>

namespace {

// Guarded: the application deletes them with itself.
std::vector<QPointer<QTranslator>>& installed() {
    static std::vector<QPointer<QTranslator>> translators;
    return translators;
}

// The application owns what it was given; the next call takes them back.
void install(std::unique_ptr<QTranslator> translator) {
    QCoreApplication::installTranslator(translator.get());
    translator->setParent(QCoreApplication::instance());
    installed().emplace_back(translator.release());
}

} // namespace

QString installQtTranslations(const QLocale& system) {
    for (const QPointer<QTranslator>& translator : installed()) {
        if (!translator)
            continue;
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    installed().clear();

    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // qtbase holds the buttons and dialogs, so it decides the language; the browser's catalog
    // is taken in that language or not at all (its menu then stays in Qt's English).
    auto base = std::make_unique<QTranslator>();
    QLocale language = system;
    if (!base->load(language, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        language = QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
        if (!base->load(language, QStringLiteral("qtbase"), QStringLiteral("_"), folder))
            return {};
    }
    // The file's own name says its language; qtbase_en.qm names none inside.
    QString name = QFileInfo(base->filePath()).completeBaseName().mid(int(qstrlen("qtbase_")));
    install(std::move(base));
    auto browser = std::make_unique<QTranslator>();
    if (browser->load(language, QStringLiteral("qtwebengine"), QStringLiteral("_"), folder))
        install(std::move(browser));
    return name;
}
