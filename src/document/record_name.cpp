#include "document/record_name.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

namespace document {

namespace {

constexpr int kMaxClashes = 10000;

// name.ext for n = 1, else name-n.ext.
QString Candidate(const QString& folder, const QString& fileName, int n) {
    if (n == 1)
        return QDir(folder).filePath(fileName);
    const QFileInfo info(fileName);
    return QDir(folder).filePath(info.completeBaseName() + QStringLiteral("-%1.").arg(n) +
                                 info.suffix());
}

// 0, or the errno of the failure; EEXIST when `to` is taken.
int MoveNoReplace(const QString& from, const QString& to) {
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // A file system without that flag: a hard link refuses a taken name too.
    if (::link(f.constData(), t.constData()) == 0) {
        ::unlink(f.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP)
        return errno;
    // Nor links (a memory stick's FAT): the plain check is all there is.
    if (QFileInfo::exists(to))
        return EEXIST;
    return ::rename(f.constData(), t.constData()) == 0 ? 0 : errno;
}

}  // namespace

QDateTime BakeStartLocalTime(const QDateTime& opened, uint64_t openedAtMs,
                             uint64_t reportedStartMs) {
    if (openedAtMs == 0 || reportedStartMs == 0 || reportedStartMs > openedAtMs)
        return opened;
    return opened.addMSecs(-static_cast<qint64>(openedAtMs - reportedStartMs));
}

QString RecordDeviceTag(const QString& device) {
    QString tag = device;
    for (QChar& c : tag) {
        const bool kept = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                          (c >= u'0' && c <= u'9') || c == u'.' || c == u'_';
        if (!kept)
            c = u'_';
    }
    return tag;
}

QString RecordFileName(const QDateTime& bakeStart, const QString& device) {
    QString name = QStringLiteral("bake-") + bakeStart.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!device.isEmpty())
        name += QLatin1Char('-') + RecordDeviceTag(device);
    return name + QStringLiteral(".tvr");
}

QDateTime RecordFileTime(const QString& fileName) {
    static const QRegularExpression pattern(
        QStringLiteral("^bake-(\\d{8}-\\d{6})(?:-[A-Za-z0-9_.]+)*\\.tvr$"));
    const QRegularExpressionMatch m = pattern.match(fileName);
    if (!m.hasMatch())
        return {};
    return QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMdd-HHmmss"));
}

QString PublishRecordFile(const QString& source, const QString& folder, const QString& fileName,
                          std::wstring& error) {
    // Each name is tried by the move itself: a file that is there, or
    // appears meanwhile, makes it fail and the next name is tried.
    for (int n = 1; n <= kMaxClashes; ++n) {
        QString path = Candidate(folder, fileName, n);
        const int rc = MoveNoReplace(source, path);
        if (rc == 0)
            return path;
        if (rc != EEXIST) {
            char buffer[256];
            const char* text = ::strerror_r(rc, buffer, sizeof buffer);
            error = L"Unable to save the record as " + path.toStdWString() + L": " +
                    QString::fromLocal8Bit(text).toStdWString();
            return {};
        }
    }
    error =
        L"No free name for the record " + fileName.toStdWString() + L" in " + folder.toStdWString();
    return {};
}

}  // namespace document
