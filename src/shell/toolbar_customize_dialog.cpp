#include "shell/toolbar_customize_dialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/command_tool_bar.h"

namespace shell {

ToolbarCustomizeDialog::ToolbarCustomizeDialog(CommandToolBar* toolbar, QWidget* parent)
    : QDialog(parent), toolbar_(toolbar) {
    setWindowTitle(tr("Customize"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(tr("Commands of the toolbar \"%1\":").arg(toolbar->windowTitle()), this));
    list_ = new QListWidget(this);
    list_->setIconSize(QSize(16, 16));
    for (QAction* a : toolbar->Commands()) {
        auto* item = new QListWidgetItem(
            a->icon(), a->text().remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0), list_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(toolbar->IsCommandShown(a) ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, QVariant::fromValue(static_cast<QObject*>(a)));
    }
    connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        auto* a = qobject_cast<QAction*>(item->data(Qt::UserRole).value<QObject*>());
        if (a)
            toolbar_->SetCommandShown(a, item->checkState() == Qt::Checked);
    });
    layout->addWidget(list_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    layout->addWidget(buttons);
    resize(320, 360);
}

}  // namespace shell
