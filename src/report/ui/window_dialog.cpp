#include "report/ui/window_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "report/ui/window_store.h"

namespace report::ui {

namespace {

// The text of a window without its name line: the name has its own field.
QString Body(const report::ProcessWindow& w) {
    QString text = QString::fromStdString(report::WindowText(w));
    return text.section(QLatin1Char('\n'), 1);
}

}  // namespace

WindowDialog::WindowDialog(const QString& start, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Process Windows"));
    list_ = new QListWidget(this);
    name_ = new QLineEdit(this);
    text_ = new QPlainTextEdit(this);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setMinimumSize(320, 260);
    error_ = new QLabel(this);
    error_->setStyleSheet(QStringLiteral("color: #c01010"));
    error_->setWordWrap(true);
    auto* save = new QPushButton(tr("&Save"), this);
    auto* remove = new QPushButton(tr("&Delete"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(save, QDialogButtonBox::ActionRole);
    buttons->addButton(remove, QDialogButtonBox::ActionRole);

    auto* editor = new QVBoxLayout;
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(tr("Name:"), this));
    nameRow->addWidget(name_);
    editor->addLayout(nameRow);
    editor->addWidget(new QLabel(tr("One key = value a line: ts_min, ts_max, t_l, and a limit on a "
                                    "metric as its name with _min or _max."),
                                 this));
    editor->addWidget(text_);
    editor->addWidget(error_);
    auto* top = new QHBoxLayout;
    top->addWidget(list_, 1);
    top->addLayout(editor, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    connect(save, &QPushButton::clicked, this, [this] { SaveCurrent(); });
    connect(remove, &QPushButton::clicked, this, [this] {
        RemoveWindow(name_->text());
        Reload();
    });
    connect(list_, &QListWidget::currentTextChanged, this, [this](const QString& n) {
        if (!n.isEmpty())
            Load(n);
    });
    Reload();
    Load(start.isEmpty() ? QStringLiteral("pbfree") : start);
}

void WindowDialog::Reload() {
    const QSignalBlocker block(list_);
    list_->clear();
    list_->addItems(WindowNames());
}

void WindowDialog::Load(const QString& name) {
    const auto w = WindowByName(name);
    if (!w)
        return;
    const bool builtIn = report::BuiltInWindow(name.toStdString()).has_value();
    name_->setText(builtIn ? name + QStringLiteral(" (mine)") : name);
    text_->setPlainText(Body(*w));
    error_->clear();
}

bool WindowDialog::SaveCurrent() {
    const QString name = name_->text().trimmed();
    std::string error;
    if (name.isEmpty() || name.contains(QLatin1Char('/')) ||
        report::BuiltInWindow(name.toStdString())) {
        error_->setText(tr("Give the window a name of its own (not pbfree or snpb, no '/')."));
        return false;
    }
    auto w = report::ParseWindow(text_->toPlainText().toStdString(), name.toStdString(), error);
    if (!w) {
        error_->setText(QString::fromStdString(error));
        return false;
    }
    w->name = name.toStdString();
    StoreWindow(*w);
    error_->setText(tr("Saved."));
    Reload();
    return true;
}

QString WindowDialog::Error() const {
    return error_->text();
}

}  // namespace report::ui
