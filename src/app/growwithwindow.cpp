#include "app/growwithwindow.h"

#include <QWidget>
#include <algorithm>

void GrowWithWindow::add(QWidget* control, int edges) {
    m_placed.push_back({control, control->geometry(), edges});
}

void GrowWithWindow::apply(QSize now) const {
    const int dx = std::max(0, now.width() - m_designed.width());
    const int dy = std::max(0, now.height() - m_designed.height());
    for (const Placed& p : m_placed) {
        QRect r = p.designed;
        if (p.edges & MoveRight)
            r.translate(dx, 0);
        if (p.edges & MoveDown)
            r.translate(0, dy);
        if (p.edges & GrowWidth)
            r.setWidth(r.width() + dx);
        if (p.edges & GrowHeight)
            r.setHeight(r.height() + dy);
        p.control->setGeometry(r);
    }
}
