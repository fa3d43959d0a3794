#include "app/spinvalue.h"

#include "text/text.h"

#include <QSpinBox>
#include <algorithm>

int spinValue(const QSpinBox* box, int fallback) {
    const QString text = box->cleanText();
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    const auto number = ascii ? parseWholeNumber(text.toStdString()) : std::nullopt;
    if (!number)
        return fallback;
    return std::clamp(*number, box->minimum(), box->maximum());
}
