#pragma once
// The "Profiles" pane: the profile files of one folder with a small preview,
// their peak and duration, a filter by name, and the folder watched so that
// a file copied in (or changed, or removed) shows at once.

#include <QFileSystemWatcher>
#include <QString>
#include <QWidget>
#include <optional>

#include "profile/profile_model.h"

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace profile::ui {

// The profiles folder: the command line's, else the setting
// "Profiles/Folder", else Calvero/Profiles in the documents folder.
QString ResolveProfilesFolder(const QString& commandLineFolder);

// "245.0 °C, 6:20": the peak and the duration (minutes:seconds, hours when
// there are any) shown under a profile's name.
QString ProfileSummary(const profile::Profile& p);

class ProfileLibrary : public QWidget {
    Q_OBJECT
public:
    explicit ProfileLibrary(QWidget* parent = nullptr);

    // Lists and watches `folder` (made when missing).
    void SetFolder(const QString& folder);
    const QString& Folder() const { return folder_; }
    void Rescan();

    // The paths listed (after the filter), in name order.
    QStringList ListedPaths() const;
    QString SelectedPath() const;
    void SetUploadEnabled(bool on);

    QLineEdit* Filter() const { return filter_; }
    QListWidget* List() const { return list_; }
    QPushButton* UploadButton() const { return upload_; }

signals:
    void openRequested(const QString& path);
    void uploadRequested(const QString& path);

private:
    void ApplyFilter();

    QString folder_;
    QFileSystemWatcher watcher_;
    QLineEdit* filter_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* upload_ = nullptr;
    bool uploadAllowed_ = false;
};

}  // namespace profile::ui
