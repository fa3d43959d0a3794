#include "app/rankchartdialog.h"

#include "app/application.h"
#include "app/messagebox.h"
#include "modules/reportloader.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

RankChartDialog::RankChartDialog(const RankTrend& trend, const QString& site,
                                 const QString& keyword, const QString& folder, QWidget* parent)
    : QDialog(parent), m_trend(trend), m_title(rankChartTitle(site, keyword)), m_folder(folder) {
    setObjectName(QStringLiteral("RankChartForm"));
    setWindowTitle(QStringLiteral("排名走势"));
    setAttribute(Qt::WA_DeleteOnClose);
    setSizeGripEnabled(true);
    m_view = createRankChartView(trend, m_title, this);
    m_view->setObjectName(QStringLiteral("RankChartView"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    QPushButton* save =
        buttons->addButton(QStringLiteral("保存为图片…"), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("SaveChartButton"));
    connectReported(save, &QPushButton::clicked, this, &RankChartDialog::savePng);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addWidget(buttons);
    resize(900, 540);
}

void RankChartDialog::savePng() {
    const QString path = MessageBox::saveFileName(this, QStringLiteral("保存为图片"),
                                                  m_folder + QStringLiteral("排名走势.png"),
                                                  QStringLiteral("PNG (*.png)"));
    if (!path.isEmpty())
        saveRankChartPng(m_trend, m_title, path);
}
