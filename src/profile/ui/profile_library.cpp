#include "profile/ui/profile_library.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <algorithm>

namespace profile::ui {

namespace {

constexpr int kPathRole = Qt::UserRole + 1;
const QSize kPreview(96, 40);

QIcon Preview(const profile::Profile& p) {
    QPixmap pix(kPreview);
    pix.fill(Qt::white);
    QPainter painter(&pix);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xC0, 0xC0, 0xC0), 1));
    painter.drawRect(QRectF(0.5, 0.5, kPreview.width() - 1, kPreview.height() - 1));
    const double right = std::max(1.0, p.Duration());
    const double top = std::max(1.0, p.Peak().value_or(1.0));
    QPainterPath path;
    for (size_t i = 0; i < p.Size(); ++i) {
        const QPointF at(2 + p.Points()[i].x / right * (kPreview.width() - 4),
                         kPreview.height() - 3 - p.Points()[i].y / top * (kPreview.height() - 6));
        i == 0 ? path.moveTo(at) : path.lineTo(at);
    }
    painter.setPen(QPen(QColor::fromRgba(profile::kProfileColor), 1.5));
    painter.drawPath(path);
    return QIcon(pix);
}

}  // namespace

QString ResolveProfilesFolder(const QString& commandLineFolder) {
    if (!commandLineFolder.isEmpty())
        return QDir(commandLineFolder).absolutePath();
    QString stored = QSettings().value(QStringLiteral("Profiles/Folder")).toString();
    if (!stored.isEmpty())
        return stored;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
        .filePath(QStringLiteral("Calvero/Profiles"));
}

QString ProfileSummary(const profile::Profile& p) {
    const long long total = std::llround(p.Duration());
    const QString duration =
        total >= 3600
            ? QStringLiteral("%1:%2:%3")
                  .arg(total / 3600)
                  .arg(total / 60 % 60, 2, 10, QLatin1Char('0'))
                  .arg(total % 60, 2, 10, QLatin1Char('0'))
            : QStringLiteral("%1:%2").arg(total / 60).arg(total % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 \u00b0C, %2")
        .arg(QString::number(p.Peak().value_or(0.0), 'f', 1), duration);
}

ProfileLibrary::ProfileLibrary(QWidget* parent) : QWidget(parent) {
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText(tr("Filter by name"));
    filter_->setClearButtonEnabled(true);
    list_ = new QListWidget(this);
    list_->setIconSize(kPreview);
    list_->setObjectName(QStringLiteral("ProfileList"));
    upload_ = new QPushButton(tr("Upload to controller"), this);
    upload_->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter_);
    layout->addWidget(list_, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(upload_);
    layout->addLayout(row);

    connect(filter_, &QLineEdit::textChanged, this, &ProfileLibrary::ApplyFilter);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        emit openRequested(item->data(kPathRole).toString());
    });
    connect(list_, &QListWidget::currentItemChanged, this,
            [this] { SetUploadEnabled(uploadAllowed_); });
    connect(upload_, &QPushButton::clicked, this, [this] {
        if (!SelectedPath().isEmpty())
            emit uploadRequested(SelectedPath());
    });
    // A copy in progress may not parse yet; its own change brings it in.
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &ProfileLibrary::Rescan);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &ProfileLibrary::Rescan);
}

void ProfileLibrary::SetFolder(const QString& folder) {
    if (!watcher_.directories().isEmpty())
        watcher_.removePaths(watcher_.directories());
    if (!watcher_.files().isEmpty())
        watcher_.removePaths(watcher_.files());
    folder_ = folder;
    QDir().mkpath(folder_);
    watcher_.addPath(folder_);
    Rescan();
}

void ProfileLibrary::Rescan() {
    const QString selected = SelectedPath();
    list_->clear();
    const QFileInfoList files =
        QDir(folder_).entryInfoList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name);
    for (const QFileInfo& f : files) {
        const QString path = f.absoluteFilePath();
        if (!watcher_.files().contains(path))
            watcher_.addPath(path);
        std::wstring error;
        const auto p = profile::LoadProfile(path.toStdWString(), error);
        if (!p)
            continue;  // not a profile (or not yet whole)
        auto* item = new QListWidgetItem(
            Preview(*p), f.completeBaseName() + QLatin1Char('\n') + ProfileSummary(*p), list_);
        item->setData(kPathRole, path);
        item->setToolTip(path);
        if (path == selected)
            list_->setCurrentItem(item);
    }
    ApplyFilter();
}

void ProfileLibrary::ApplyFilter() {
    const QString needle = filter_->text().trimmed();
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        const QString name = QFileInfo(item->data(kPathRole).toString()).completeBaseName();
        item->setHidden(!needle.isEmpty() && !name.contains(needle, Qt::CaseInsensitive));
    }
}

QStringList ProfileLibrary::ListedPaths() const {
    QStringList out;
    for (int i = 0; i < list_->count(); ++i) {
        if (!list_->item(i)->isHidden())
            out << list_->item(i)->data(kPathRole).toString();
    }
    return out;
}

QString ProfileLibrary::SelectedPath() const {
    const QListWidgetItem* item = list_->currentItem();
    return item && !item->isHidden() ? item->data(kPathRole).toString() : QString();
}

void ProfileLibrary::SetUploadEnabled(bool on) {
    uploadAllowed_ = on;
    upload_->setEnabled(on && !SelectedPath().isEmpty());
}

}  // namespace profile::ui
