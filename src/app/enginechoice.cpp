#include "app/enginechoice.h"

#include "rank/engines.h"

#include <QComboBox>

void fillEngineChoice(QComboBox* choice, AllEngines all) {
    const int selected = choice->currentIndex();
    QStringList names;
    if (all == AllEngines::First)
        names << QStringLiteral("全部");
    for (const EngineProfile& engine : currentEngineProfiles())
        names << engine.name;
    if (all == AllEngines::Last)
        names << QStringLiteral("全部");
    QStringList shown;
    for (int i = 0; i < choice->count(); ++i)
        shown << choice->itemText(i);
    if (shown == names)
        return;
    choice->clear();
    choice->addItems(names);
    choice->setCurrentIndex(selected >= 0 && selected < names.size() ? selected : 0);
}
