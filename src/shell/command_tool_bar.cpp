#include "shell/command_tool_bar.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>

namespace shell {

CommandToolBar::CommandToolBar(const QString& title, QAction* customize, QWidget* parent)
    : QToolBar(title, parent), customize_(customize) {
    endButton_ = new QToolButton(this);
    endButton_->setArrowType(Qt::DownArrow);
    endButton_->setAutoRaise(true);
    endButton_->setPopupMode(QToolButton::InstantPopup);
    endButton_->setToolTip(customize->text().remove(QLatin1Char('&')));
    auto* menu = new QMenu(endButton_);
    menu->addAction(customize_);
    endButton_->setMenu(menu);
    // Without a menu indicator the arrow alone marks the button.
    endButton_->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    endAction_ = addWidget(endButton_);
}

void CommandToolBar::SetCommands(const QList<QAction*>& commands) {
    entries_.clear();
    for (QAction* a : commands) entries_.append({a, true});
    Rebuild();
}

QList<QAction*> CommandToolBar::Commands() const {
    QList<QAction*> out;
    for (const Entry& e : entries_)
        if (e.action)
            out << e.action;
    return out;
}

bool CommandToolBar::IsCommandShown(QAction* command) const {
    for (const Entry& e : entries_)
        if (e.action == command)
            return e.shown;
    return false;
}

void CommandToolBar::SetCommandShown(QAction* command, bool shown) {
    for (Entry& e : entries_) {
        if (e.action == command && e.shown != shown) {
            e.shown = shown;
            Rebuild();
            return;
        }
    }
}

void CommandToolBar::Rebuild() {
    for (QAction* a : actions())
        if (a != endAction_)
            removeAction(a);
    qDeleteAll(separators_);
    separators_.clear();
    bool pendingSeparator = false;
    bool any = false;
    for (const Entry& e : entries_) {
        if (!e.action) {
            pendingSeparator = any;
            continue;
        }
        if (!e.shown)
            continue;
        if (pendingSeparator)
            separators_ << insertSeparator(endAction_);
        pendingSeparator = false;
        insertAction(endAction_, e.action);
        any = true;
    }
}

}  // namespace shell
