#include "shell/recent_file_list.h"

#include <QFileInfo>

#include "widgets/settings.h"

namespace shell {

namespace {

constexpr char kSection[] = "Recent File List";

QString Key(int i) {
    return QStringLiteral("%1/File%2").arg(QLatin1String(kSection)).arg(i + 1);
}

QString Canonical(const QString& path) {
    const QFileInfo info(path);
    return info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
}

}  // namespace

void RecentFileList::Load() {
    const QSettings settings = widgets::OpenSettings();
    files_.clear();
    for (int i = 0; i < kSize; ++i) {
        const QString f = settings.value(Key(i)).toString();
        if (!f.isEmpty() && !files_.contains(f))
            files_ << f;
    }
}

void RecentFileList::Save() const {
    QSettings settings = widgets::OpenSettings();
    for (int i = 0; i < kSize; ++i) {
        if (i < files_.size()) {
            settings.setValue(Key(i), files_[i]);
        } else {
            settings.remove(Key(i));
        }
    }
}

void RecentFileList::Add(const QString& path) {
    const QString f = Canonical(path);
    files_.removeAll(f);
    files_.prepend(f);
    while (files_.size() > kSize) files_.removeLast();
}

void RecentFileList::Remove(const QString& path) {
    files_.removeAll(Canonical(path));
}

}  // namespace shell
