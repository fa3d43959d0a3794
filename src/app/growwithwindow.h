#pragma once

#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

// Controls placed at fixed positions, as the forms were designed, follow a window that grows:
// each one grows with it or moves with its right or bottom edge by what the window has grown
// beyond its designed size. At the designed size everything stands where it was designed.
class GrowWithWindow {
public:
    enum Edge {
        GrowWidth = 1,
        GrowHeight = 2,
        MoveRight = 4,
        MoveDown = 8,
    };

    explicit GrowWithWindow(QSize designed) : m_designed(designed) {}

    // Takes the control's present geometry as its designed one.
    void add(QWidget* control, int edges);
    void apply(QSize now) const;

private:
    struct Placed {
        QWidget* control;
        QRect designed;
        int edges;
    };
    QSize m_designed;
    std::vector<Placed> m_placed;
};
