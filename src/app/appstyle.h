#pragma once

#include <QProxyStyle>

// The platform's style, but the icons of the menu bar's overflow button are read only when one
// is first drawn, which it rarely is. Read as the menu bar is made, they take Qt through every
// image format plugin on the machine (it asks each whether it reads the PNG): 3 to 4 ms of
// each start here, more where more plugins are installed.
class AppStyle : public QProxyStyle {
public:
    // Takes the style over; the application's own, with the user's -style or
    // QT_STYLE_OVERRIDE, is the one to give.
    explicit AppStyle(QStyle* style) : QProxyStyle(style) {}
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
