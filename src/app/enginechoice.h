#pragma once

class QComboBox;

// Where an engine choice offers "全部" (every engine): first (the batch list, whose number 0
// means every engine), last (the main window, whose numbers are the engines'), or not at all.
enum class AllEngines { None, First, Last };

// Fills an engine choice with the names of the current engine table and "全部" where asked,
// and keeps the selected index where it still exists (else the first item).
void fillEngineChoice(QComboBox* choice, AllEngines all);
