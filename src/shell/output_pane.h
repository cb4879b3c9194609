#pragma once
// The "Output" pane: the program's diagnostic record. Any thread writes to it
// through platform::TraceLog or devlink::LinkLog; the line is formatted on the caller's thread
// and travels to the window thread as a posted event, so logging never blocks.

#include <QDockWidget>
#include <QEvent>
#include <QFile>
#include <QListWidget>
#include <QString>

#include <mutex>

#include "link/connection.h"
#include "platform/trace_log.h"

class QTabWidget;

namespace shell {

enum class OutputLineKind { Message, Error, Warning };

// "MSG [hh:mm:ss.mmm] : text" (ERR / WAR for the other kinds).
QString FormatOutputLine(OutputLineKind kind, int hour, int minute, int second, int millisecond,
                         const QString& text);

// The longest formatted text of one line; a longer one is cut there.
inline constexpr int kMaxOutputText = 4095;

// Posted to the pane with the finished line; the event owns its copy.
class OutputLineEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(1025);
    explicit OutputLineEvent(QString line) : QEvent(kType), line_(std::move(line)) {}
    const QString& Line() const { return line_; }

private:
    QString line_;
};

// The list of the pane, with its context menu.
class OutputList : public QListWidget {
    Q_OBJECT
public:
    explicit OutputList(QWidget* parent = nullptr);

    // Selected lines, or every line when none is selected, one per text line.
    QString CopyText() const;
    void CopyToClipboard();

signals:
    void hideRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
};

class OutputPane : public QDockWidget, public platform::TraceLog, public devlink::LinkLog {
    Q_OBJECT
public:
    explicit OutputPane(QWidget* parent = nullptr);
    ~OutputPane() override;

    void TraceMessage(const wchar_t* source, const wchar_t* format, ...) override;
    void TraceError(const wchar_t* source, const wchar_t* format, ...) override;
    void TraceWarning(const wchar_t* source, const wchar_t* format, ...) override;
    void LogMessage(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    void LogError(const char* format, ...) override __attribute__((format(printf, 2, 3)));

    // Also appends every line that reaches the list to this file (window thread).
    bool SetLogFile(const QString& path, QString* error);

    // A line formatted as the calls above do, its text after `prefix` (a
    // controller's name among several); any thread.
    void PostWide(OutputLineKind kind, const wchar_t* format, va_list args,
                  const QString& prefix = {});
    void PostNarrow(OutputLineKind kind, const char* format, va_list args,
                    const QString& prefix = {});

    // Put before the text of the link's lines (LogMessage, LogError): the
    // name of the controller whose link logs here, among several. Any thread.
    void SetLinkPrefix(const QString& prefix);

    OutputList* List() const { return list_; }
    int LineCount() const { return list_->count(); }
    QString Line(int index) const;

protected:
    bool event(QEvent* e) override;

private:
    void Post(OutputLineKind kind, const QString& text);
    QString LinkPrefix() const;
    void Append(const QString& line);

    QTabWidget* tabs_;
    OutputList* list_;
    QFile logFile_;  // window thread only
    mutable std::mutex linkPrefixMutex_;
    QString linkPrefix_;
};

}  // namespace shell
