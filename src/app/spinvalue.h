#pragma once

class QSpinBox;

// The value of a spin edit as its text stands: a text that is no whole number gives fallback,
// a number outside the range is brought into it.
int spinValue(const QSpinBox* box, int fallback);
