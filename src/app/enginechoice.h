#pragma once

class QComboBox;

// Fills an engine choice with the names of the current engine table, "全部" first when
// withAll, and keeps the selected index where it still exists (else the first item).
void fillEngineChoice(QComboBox* choice, bool withAll);
