#include "mainform.h"

#include "fileversion.h"

#include <QCoreApplication>

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    QCoreApplication::setApplicationName(QStringLiteral("墨汀高效SEO综合工具"));
    setWindowTitle(QCoreApplication::applicationName() +
                   GetFileVersionText(QCoreApplication::applicationFilePath()));
    resize(648, 534);
}
