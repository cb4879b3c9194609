#include "profile/ui/profile_editor.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "bake/profile_upload.h"
#include "chart/ui/chart_widget.h"
#include "platform/message_box.h"
#include "profile/ui/profile_drag.h"
#include "report/process_window.h"

namespace profile::ui {

namespace {

QString Number(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

}  // namespace

ProfileEditor::ProfileEditor(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_DeleteOnClose);

    table_ = new QTableWidget(0, 2, this);
    table_->setObjectName(QStringLiteral("ProfileTable"));
    table_->setHorizontalHeaderLabels({tr("Time (s)"), tr("Temperature (\u00b0C)")});
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(table_, &QTableWidget::cellChanged, this, &ProfileEditor::OnCellChanged);

    chart_ = new chart::ui::ChartWidget(this);
    chart_->setObjectName(QStringLiteral("ProfileChart"));
    chart_->setMinimumSize(360, 240);
    chart_->installEventFilter(this);
    chartId_ = chart_->Set().AddChart({}, profile::kProfileChartName, profile::kProfileYLabel, 0,
                                      2.0f, 0.0f, profile::kProfileColor);
    if (chart::ChartSeries* s = chart_->Set().FindChart(chartId_))
        s->showPoints = true;

    auto* add = new QPushButton(tr("Add point"), this);
    auto* del = new QPushButton(tr("Delete point"), this);
    connect(add, &QPushButton::clicked, this, &ProfileEditor::AddPoint);
    connect(del, &QPushButton::clicked, this, &ProfileEditor::DeletePoint);
    undoAction_ = model_.UndoStack()->createUndoAction(this, tr("Undo"));
    redoAction_ = model_.UndoStack()->createRedoAction(this, tr("Redo"));
    undoAction_->setShortcut(QKeySequence::Undo);
    redoAction_->setShortcut(QKeySequence::Redo);
    undoAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    redoAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(undoAction_);
    addAction(redoAction_);
    auto* undo = new QPushButton(tr("Undo"), this);
    auto* redo = new QPushButton(tr("Redo"), this);
    connect(undo, &QPushButton::clicked, undoAction_, &QAction::trigger);
    connect(redo, &QPushButton::clicked, redoAction_, &QAction::trigger);
    connect(undoAction_, &QAction::enabledChanged, undo, &QWidget::setEnabled);
    connect(redoAction_, &QAction::enabledChanged, redo, &QWidget::setEnabled);
    undo->setEnabled(false);
    redo->setEnabled(false);

    auto* save = new QPushButton(tr("Save As..."), this);
    connect(save, &QPushButton::clicked, this, &ProfileEditor::SaveAs);
    upload_ = new QPushButton(tr("Upload to controller"), this);
    connect(upload_, &QPushButton::clicked, this, &ProfileEditor::Upload);
    read_button_ = new QPushButton(tr("Read from controller"), this);
    connect(read_button_, &QPushButton::clicked, this, [this] {
        if (read_)
            read_();
    });

    window_ = new QComboBox(this);
    window_->addItem(tr("Lead-free (pbfree)"), QStringLiteral("pbfree"));
    window_->addItem(tr("Tin-lead (snpb)"), QStringLiteral("snpb"));
    connect(window_, &QComboBox::currentIndexChanged, this, [this] { RefreshRulesAndMetrics(); });

    rules_ = new QLabel(this);
    rules_->setObjectName(QStringLiteral("ProfileRules"));
    rules_->setWordWrap(true);
    metrics_ = new QLabel(this);
    metrics_->setObjectName(QStringLiteral("ProfileMetrics"));
    metrics_->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(add), static_cast<QWidget*>(del),
                       static_cast<QWidget*>(undo), static_cast<QWidget*>(redo)})
        buttons->addWidget(w);
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(read_button_);
    buttons->addWidget(upload_);

    auto* windowRow = new QHBoxLayout;
    windowRow->addWidget(new QLabel(tr("Process window:"), this));
    windowRow->addWidget(window_);
    windowRow->addStretch();

    auto* split = new QSplitter(this);
    split->addWidget(table_);
    split->addWidget(chart_);
    split->setStretchFactor(1, 3);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(split, 1);
    layout->addLayout(windowRow);
    layout->addWidget(metrics_);
    layout->addWidget(rules_);

    connect(&model_, &ProfileEditModel::changed, this, &ProfileEditor::Refresh);
    connect(model_.UndoStack(), &QUndoStack::cleanChanged, this,
            [this] { emit titleChanged(Title()); });
    Refresh();
}

QString ProfileEditor::Title() const {
    QString t = path_.isEmpty() ? tr("Profile") : QFileInfo(path_).fileName();
    return model_.UndoStack()->isClean() ? t : t + QStringLiteral("*");
}

void ProfileEditor::SetProfile(const profile::Profile& p) {
    model_.Reset(p);
    FitChart();
    emit titleChanged(Title());
}

bool ProfileEditor::Open(const QString& path, QString* error) {
    std::wstring why;
    const auto p = profile::LoadProfile(path.toStdWString(), why);
    if (!p) {
        if (error)
            *error = QString::fromStdWString(why);
        return false;
    }
    path_ = path;
    SetProfile(*p);
    return true;
}

bool ProfileEditor::SaveAs() {
    if (!askSavePath_)
        return false;
    const QString path =
        askSavePath_(this, path_.isEmpty() ? tr("Profile") + QStringLiteral(".xml") : path_);
    if (path.isEmpty())
        return false;
    QString error;
    if (SaveTo(path, &error))
        return true;
    if (messages_)
        messages_->ShowMessage(error.toStdWString(), platform::MessageIcon::Error);
    return false;
}

void ProfileEditor::closeEvent(QCloseEvent* event) {
    if (IsModified() && askClose_) {
        const CloseChoice c = askClose_(this, Title());
        if (c == CloseChoice::Cancel || (c == CloseChoice::Save && !SaveAs())) {
            event->ignore();
            return;
        }
    }
    QWidget::closeEvent(event);
}

bool ProfileEditor::SaveTo(const QString& path, QString* error) {
    std::wstring why;
    if (!profile::SaveProfile(model_.Profile(), path.toStdWString(), why)) {
        if (error)
            *error = QString::fromStdWString(why);
        return false;
    }
    path_ = path;
    model_.UndoStack()->setClean();
    emit titleChanged(Title());
    return true;
}

void ProfileEditor::SetWindow(const QString& name) {
    const int i = window_->findData(name);
    if (i >= 0)
        window_->setCurrentIndex(i);
}

QString ProfileEditor::WindowName() const {
    return window_->currentData().toString();
}

void ProfileEditor::UpdateCommands() {
    const bool ready = send_ && controllerIdle_;
    upload_->setEnabled(ready && model_.Profile().CanUpload());
    read_button_->setEnabled(ready && read_);
}

bool ProfileEditor::Upload() {
    if (!send_ || !controllerIdle_ || !model_.Profile().CanUpload())
        return false;
    const std::vector<bake::ProfileSample> samples =
        bake::ToProfileSamples(model_.Profile().Points());
    send_(std::span<const bake::ProfileSample>(samples));
    return true;
}

void ProfileEditor::AddPoint() {
    const int row = table_->currentRow();
    const size_t n = model_.Profile().Size();
    const size_t after = row >= 0 ? size_t(row) : (n ? n - 1 : 0);
    const size_t at = n ? after + 1 : 0;
    if (model_.InsertPoint(at, model_.Profile().NewPointAfter(after)))
        table_->setCurrentCell(int(at), 0);
}

void ProfileEditor::DeletePoint() {
    const int row = table_->currentRow();
    if (row >= 0)
        model_.RemovePoint(size_t(row));
}

void ProfileEditor::Refresh() {
    FillTable();
    RefreshChart();
    RefreshRulesAndMetrics();
    UpdateCommands();
}

void ProfileEditor::FillTable() {
    filling_ = true;
    const auto& pts = model_.Profile().Points();
    const int current = table_->currentRow();
    table_->setRowCount(int(pts.size()));
    const auto violations = model_.Profile().Violations();
    for (int r = 0; r < int(pts.size()); ++r) {
        const bool broken = std::any_of(violations.begin(), violations.end(),
                                        [r](const profile::Violation& v) { return v.point == r; });
        const double values[2] = {pts[r].x, pts[r].y};
        for (int c = 0; c < 2; ++c) {
            QTableWidgetItem* item = table_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                table_->setItem(r, c, item);
            }
            item->setText(Number(values[c], c == 0 ? 0 : 1));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            item->setBackground(broken ? QColor(255, 210, 210) : QBrush());
        }
    }
    if (current >= 0 && current < table_->rowCount())
        table_->setCurrentCell(current, table_->currentColumn() < 0 ? 0 : table_->currentColumn());
    filling_ = false;
}

void ProfileEditor::RefreshChart() {
    chart_->Set().ClearChartPoints(chartId_);
    std::vector<chart::ChartPoint> pts = model_.Profile().Points();
    chart_->Set().AppendChartPoints(chartId_, pts);
    if (dragIndex_ >= 0)
        return;  // the view stays put under the mouse
    chart_->update();
}

void ProfileEditor::FitChart() {
    const auto& p = model_.Profile();
    const double right = std::max(60.0, p.Duration()) * 1.05;
    const double top = std::max(100.0, p.Peak().value_or(0.0)) * 1.15;
    chart_->ZoomToRange(0.0, right, 0.0, top);
}

void ProfileEditor::RefreshRulesAndMetrics() {
    const auto& p = model_.Profile();
    QStringList problems;
    for (const profile::Violation& v : p.Violations()) {
        const QString text = QString::fromWCharArray(v.text);
        problems << (v.point >= 0 ? tr("Point %1: %2").arg(v.point + 1).arg(text) : text);
    }
    rules_->setText(problems.isEmpty() ? tr("The controller takes this profile.")
                                       : problems.join(QStringLiteral("\n")));
    rules_->setStyleSheet(problems.isEmpty() ? QString() : QStringLiteral("color: #b00000"));

    const auto window = report::BuiltInWindow(WindowName().toStdString());
    if (!window || p.Size() < 2) {
        metrics_->clear();
        return;
    }
    const report::BakeMetrics m = profile::ProfileMetrics(p, *window);
    const report::Verdict v = report::Judge(m, *window);
    QString text = QString::fromStdString(profile::MetricsLine(m));
    if (v.pass) {
        text += tr(" \u2014 inside %1").arg(QString::fromStdString(window->name));
    } else {
        QStringList why;
        for (const report::Failure& f : v.failures)
            why << QString::fromStdString(report::FailureText(f, *window));
        text += tr(" \u2014 outside %1: %2")
                    .arg(QString::fromStdString(window->name), why.join(QStringLiteral("; ")));
    }
    metrics_->setText(text);
}

void ProfileEditor::OnCellChanged(int row, int column) {
    if (filling_)
        return;
    const auto& pts = model_.Profile().Points();
    if (row < 0 || size_t(row) >= pts.size())
        return;
    bool ok = false;
    const double v = table_->item(row, column)->text().trimmed().replace(',', '.').toDouble(&ok);
    profile::ChartPoint p = pts[size_t(row)];
    if (ok && std::isfinite(v)) {
        (column == 0 ? p.x : p.y) = v;
        if (model_.MovePoint(size_t(row), p))
            return;
    }
    FillTable();  // not a number: the cell shows the point again
}

bool ProfileEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched != chart_)
        return QWidget::eventFilter(watched, event);
    const auto type = event->type();
    // A chart sized for the first time (or anew) shows the whole profile.
    if (type == QEvent::Resize && dragIndex_ < 0)
        QMetaObject::invokeMethod(
            this, [this] { FitChart(); }, Qt::QueuedConnection);
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    auto* me = static_cast<QMouseEvent*>(event);
    const QPointF pos = me->position();
    const auto& pts = model_.Profile().Points();
    if (type == QEvent::MouseButtonPress && me->button() == Qt::LeftButton) {
        const auto hit = PointAt(pts, chart_->Mapping(), pos.x(), pos.y());
        if (!hit)
            return false;  // the chart's own pan and selection
        dragIndex_ = int(*hit);
        dragOrigin_ = pts[*hit];
        dragSerial_ = model_.BeginDrag();
        table_->setCurrentCell(dragIndex_, 0);
        return true;
    }
    if (dragIndex_ < 0)
        return false;
    if (type == QEvent::MouseMove) {
        const bool keepTime = me->modifiers() & Qt::ShiftModifier;
        model_.MovePoint(size_t(dragIndex_),
                         DragTarget(chart_->Mapping(), pos.x(), pos.y(), dragOrigin_, keepTime),
                         dragSerial_);
        return true;
    }
    if (me->button() == Qt::LeftButton) {
        dragIndex_ = -1;
        chart_->update();
    }
    return true;
}

}  // namespace profile::ui
