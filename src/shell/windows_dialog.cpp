#include "shell/windows_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QVBoxLayout>

namespace shell {

QString ShownWindowTitle(const QString& title, bool modified) {
    const QString placeholder = QStringLiteral("[*]");
    QString out;
    for (qsizetype i = 0; i < title.size();) {
        if (title.mid(i, 6) == placeholder + placeholder) {
            out += placeholder;
            i += 6;
        } else if (title.mid(i, 3) == placeholder) {
            if (modified)
                out += QLatin1Char('*');
            i += 3;
        } else {
            out += title[i++];
        }
    }
    return out;
}

WindowsDialog::WindowsDialog(QMdiArea* area, QWidget* parent) : QDialog(parent), area_(area) {
    setWindowTitle(tr("Windows"));
    auto* outer = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(tr("&Select window:"), this));
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    left->addWidget(list_);
    outer->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    activate_ = new QPushButton(tr("&Activate"), this);
    close_ = new QPushButton(tr("&Close Window(s)"), this);
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    right->addWidget(activate_);
    right->addWidget(close_);
    right->addStretch(1);
    right->addWidget(ok);
    outer->addLayout(right);

    connect(activate_, &QPushButton::clicked, this, [this] {
        ActivateSelected();
        accept();
    });
    connect(close_, &QPushButton::clicked, this, &WindowsDialog::CloseSelected);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(list_, &QListWidget::itemSelectionChanged, this, &WindowsDialog::UpdateButtons);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] {
        ActivateSelected();
        accept();
    });
    Fill();
    resize(420, 260);
}

void WindowsDialog::Fill() {
    list_->clear();
    QMdiSubWindow* active = area_ ? area_->activeSubWindow() : nullptr;
    const auto windows = area_ ? area_->subWindowList() : QList<QMdiSubWindow*>();
    for (QMdiSubWindow* w : windows) {
        auto* item = new QListWidgetItem(
            w->windowIcon(), ShownWindowTitle(w->windowTitle(), w->isWindowModified()), list_);
        item->setData(Qt::UserRole, QVariant::fromValue(static_cast<QObject*>(w)));
        if (w == active)
            item->setSelected(true);
    }
    UpdateButtons();
}

void WindowsDialog::UpdateButtons() {
    const int n = static_cast<int>(list_->selectedItems().size());
    activate_->setEnabled(n == 1);
    close_->setEnabled(n > 0);
}

void WindowsDialog::ActivateSelected() {
    const auto items = list_->selectedItems();
    if (items.size() != 1 || !area_)
        return;
    if (auto* w = qobject_cast<QMdiSubWindow*>(items[0]->data(Qt::UserRole).value<QObject*>()))
        area_->setActiveSubWindow(w);
}

void WindowsDialog::CloseSelected() {
    for (QListWidgetItem* item : list_->selectedItems()) {
        if (auto* w = qobject_cast<QMdiSubWindow*>(item->data(Qt::UserRole).value<QObject*>()))
            w->close();
    }
    Fill();
}

}  // namespace shell
