#include "app/sitelisteditor.h"

#include "app/application.h"
#include "app/messagebox.h"
#include "core/statussink.h"
#include "sender/sitelist.h"
#include "text/codepage.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QRegularExpression>
#include <QStyledItemDelegate>
#include <algorithm>
#include <functional>
#include <unordered_set>

namespace {

using Commit = std::function<void(const QPersistentModelIndex&, const QString&)>;

// Hands the edited text on instead of writing it into the model: the edit is checked and saved
// as a whole, and a message about it must not come while the editor is still committing.
class SiteDelegate : public QStyledItemDelegate {
public:
    SiteDelegate(Commit commit, QObject* parent)
        : QStyledItemDelegate(parent), m_commit(std::move(commit)) {}

    void setModelData(QWidget* editor, QAbstractItemModel* /*model*/,
                      const QModelIndex& index) const override {
        if (const auto* line = qobject_cast<QLineEdit*>(editor))
            m_commit(QPersistentModelIndex(index), line->text());
    }

private:
    Commit m_commit;
};

QString shown(const Text& site) {
    return gbkToQString(site);
}

} // namespace

SiteListEditor::SiteListEditor(SiteList& sites, QString path, QListView& view, QLineEdit& field,
                               StatusSink& status, QObject* parent)
    : QObject(parent), m_sites(sites), m_path(std::move(path)), m_view(view), m_field(field),
      m_status(status) {
    auto commit = [this](const QPersistentModelIndex& index, const QString& typed) {
        QMetaObject::invokeMethod(
            this, [this, index, typed] { runReported([&] { commitEdit(index, typed); }); },
            Qt::QueuedConnection);
    };
    m_view.setItemDelegate(new SiteDelegate(commit, &m_view));

    m_edit = addAction(QStringLiteral("编辑"), "EditSiteMenu", &SiteListEditor::editSite);
    m_edit->setShortcut(QKeySequence(Qt::Key_F2));
    m_delete = addAction(QStringLiteral("删除"), "DeleteSiteMenu", &SiteListEditor::deleteSites);
    m_delete->setShortcut(QKeySequence(Qt::Key_Delete));
    m_paste = addAction(QStringLiteral("粘贴"), "PasteSitesMenu", &SiteListEditor::pasteSites);
    m_paste->setShortcuts(QKeySequence::Paste);
    connect(m_view.selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SiteListEditor::updateActions);
    connect(m_view.selectionModel(), &QItemSelectionModel::currentChanged, this,
            &SiteListEditor::updateActions);
    updateActions();
}

QAction* SiteListEditor::addAction(const QString& text, const char* name,
                                   void (SiteListEditor::*handler)()) {
    auto* action = new QAction(text, &m_view);
    action->setObjectName(QLatin1String(name));
    // The keys work where the list has the focus; the menu shows them.
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setShortcutVisibleInContextMenu(true);
    m_view.addAction(action);
    connectReported(action, &QAction::triggered, this, handler);
    return action;
}

void SiteListEditor::setRunning(bool running) {
    m_running = running;
    m_view.setEditTriggers(running ? QAbstractItemView::NoEditTriggers
                                   : QAbstractItemView::DoubleClicked |
                                         QAbstractItemView::EditKeyPressed);
    updateActions();
}

void SiteListEditor::updateActions() {
    m_edit->setEnabled(!m_running && m_view.currentIndex().isValid());
    m_delete->setEnabled(!m_running && m_view.selectionModel()->hasSelection());
}

void SiteListEditor::say(const QString& text) {
    m_status.SetStatusText(qStringToGbk(text));
}

void SiteListEditor::addFromField() {
    const QString typed = m_field.text();
    if (typed.contains(QLatin1Char('\n')) || typed.contains(QLatin1Char('\r'))) {
        addLines(typed);
        m_field.clear();
        return;
    }
    const Text site = trimText(qStringToGbkStrict(typed, QStringLiteral("The site")));
    m_field.setText(shown(site));
    if (site.empty())
        return;
    if (SiteList::holdsControlCharacter(site)) {
        MessageBox::warning(&m_view, QStringLiteral("网址不能包含换行符等控制字符。"));
        return;
    }
    if (const int row = m_sites.findSite(site); row >= 0) {
        m_view.setCurrentIndex(m_sites.index(row));
        say(QStringLiteral("%1 已在列表中，没有重复加入").arg(shown(m_sites.at(row))));
        return;
    }
    m_sites.appendSaved(m_path, {site});
    m_field.clear();
    m_view.scrollToBottom();
    say(QStringLiteral("已加入 %1").arg(shown(site)));
}

void SiteListEditor::pasteSites() {
    const QString text = QGuiApplication::clipboard()->text();
    if (text.trimmed().isEmpty()) {
        say(QStringLiteral("剪贴板里没有网址"));
        return;
    }
    addLines(text);
}

void SiteListEditor::addLines(const QString& text) {
    std::unordered_set<Text> known;
    for (const Text& site : m_sites.entries())
        known.insert(SiteList::siteKey(site));
    TextList fresh;
    int duplicates = 0;
    int refused = 0;
    static const QRegularExpression lineEnd(QStringLiteral("\\r\\n|\\r|\\n"));
    for (const QString& line : text.split(lineEnd)) {
        Text site;
        try {
            site = trimText(qStringToGbkStrict(line, QStringLiteral("The site")));
        } catch (const AppError&) {
            ++refused; // half of a character: no site to save
            continue;
        }
        if (site.empty())
            continue;
        if (SiteList::holdsControlCharacter(site)) {
            ++refused;
            continue;
        }
        if (!known.insert(SiteList::siteKey(site)).second) {
            ++duplicates;
            continue;
        }
        fresh.push_back(site);
    }
    // One save for the lot: all of them land, or none.
    m_sites.appendSaved(m_path, fresh);
    if (!fresh.empty())
        m_view.scrollToBottom();
    QString said = QStringLiteral("已加入 %1 个网址").arg(fresh.size());
    QStringList skipped;
    if (duplicates > 0)
        skipped << QStringLiteral("%1 行已在列表中").arg(duplicates);
    if (refused > 0)
        skipped << QStringLiteral("%1 行含控制字符等无效字符").arg(refused);
    if (!skipped.isEmpty())
        said += QStringLiteral("，跳过 %1 行（%2）")
                    .arg(duplicates + refused)
                    .arg(skipped.join(QStringLiteral("，")));
    say(said);
}

void SiteListEditor::deleteSites() {
    if (m_running) {
        say(QStringLiteral("群发进行中，不能删除网址"));
        return;
    }
    std::vector<int> rows;
    for (const QModelIndex& index : m_view.selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    if (rows.empty())
        return;
    const int first = *std::min_element(rows.begin(), rows.end());
    const QString one = shown(m_sites.at(rows.front()));
    const size_t count = rows.size();
    m_sites.removeSaved(m_path, std::move(rows));
    // The site that took the first one's place is next, so that Delete goes on down the list.
    if (const int next = std::min(first, m_sites.size() - 1); next >= 0)
        m_view.setCurrentIndex(m_sites.index(next));
    say(count == 1 ? QStringLiteral("已删除 %1").arg(one)
                   : QStringLiteral("已删除 %1 个网址").arg(count));
}

void SiteListEditor::editSite() {
    if (!m_running && m_view.currentIndex().isValid())
        m_view.edit(m_view.currentIndex());
}

void SiteListEditor::commitEdit(const QPersistentModelIndex& index, const QString& typed) {
    // The row may have gone since the editor closed.
    if (!index.isValid())
        return;
    const int row = index.row();
    if (m_running) {
        say(QStringLiteral("群发进行中，网址没有修改"));
        return;
    }
    const Text site = trimText(qStringToGbkStrict(typed, QStringLiteral("The site")));
    if (site == m_sites.at(row))
        return;
    if (site.empty()) {
        say(QStringLiteral("网址不能为空，没有修改；要删除请按 Delete 键"));
        return;
    }
    if (SiteList::holdsControlCharacter(site)) {
        say(QStringLiteral("网址不能包含换行符等控制字符，没有修改"));
        return;
    }
    if (const int other = m_sites.findSite(site, row); other >= 0) {
        say(QStringLiteral("%1 已在列表中，没有修改").arg(shown(m_sites.at(other))));
        return;
    }
    m_sites.replaceSaved(m_path, row, site);
    say(QStringLiteral("已改为 %1").arg(shown(site)));
}
