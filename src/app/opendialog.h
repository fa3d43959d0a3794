#pragma once

#include <QPointer>
#include <QWidget>
#include <utility>

// Dialogs are created at each opening, shown modally and free themselves when they close.
template <typename Dialog, typename... Args>
void openDialog(QWidget* owner, const QString& name, Args&&... args) {
    QPointer<Dialog> dialog = owner->findChild<Dialog*>(name, Qt::FindDirectChildrenOnly);
    if (!dialog) {
        dialog = new Dialog(std::forward<Args>(args)..., owner);
        dialog->setObjectName(name);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog->exec();
}
