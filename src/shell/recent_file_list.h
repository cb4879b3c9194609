#pragma once
// The most recently used chart files, newest first, kept in the settings
// beside the application look.

#include <QString>
#include <QStringList>

namespace shell {

class RecentFileList {
public:
    static constexpr int kSize = 4;

    // Reads the stored list (entries beyond kSize and empty ones are skipped).
    void Load();
    void Save() const;
    // Puts the file first; an entry for the same file moves up instead of
    // being repeated, and the oldest falls off the end.
    void Add(const QString& path);
    void Remove(const QString& path);
    const QStringList& Files() const { return files_; }

private:
    QStringList files_;
};

}  // namespace shell
