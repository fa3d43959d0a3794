#pragma once

#include <QLocale>
#include <QString>

// Qt's own texts (standard buttons, file dialogs, the browser's context menu) in the system's
// language when Qt has a translation for it, else in Simplified Chinese, the program's own;
// in place of those installed by an earlier call. Returns the language installed ("zh_CN"),
// empty when Qt's translations are not installed (Debian package qt6-translations-l10n).
QString installQtTranslations(const QLocale& system);
