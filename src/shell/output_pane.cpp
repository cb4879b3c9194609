#include "shell/output_pane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTabWidget>
#include <QTextStream>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>

#include "platform/thread_handover.h"
#include "widgets/thread_post.h"

namespace shell {

QString FormatOutputLine(OutputLineKind kind, int hour, int minute, int second, int millisecond,
                         const QString& text) {
    const char* tag = kind == OutputLineKind::Error     ? "ERR"
                      : kind == OutputLineKind::Warning ? "WAR"
                                                        : "MSG";
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%s [%02d:%02d:%02d.%03d] : ", tag, hour, minute, second,
                  millisecond);
    return QString::fromLatin1(stamp) + text;
}

namespace {

// The stamp is taken when the line is formatted, not when it is shown.
QString StampedLine(OutputLineKind kind, const QString& text) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    const int ms =
        static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
    localtime_r(&secs, &local);
    return FormatOutputLine(kind, local.tm_hour, local.tm_min, local.tm_sec, ms, text);
}

}  // namespace

// ---------------------------------------------------------------------------

OutputList::OutputList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUniformItemSizes(true);  // keeps a list of many thousand lines cheap
}

QString OutputList::CopyText() const {
    QStringList lines;
    const bool onlySelected = !selectedItems().isEmpty();
    for (int i = 0; i < count(); ++i) {
        const QListWidgetItem* it = item(i);
        if (!onlySelected || it->isSelected())
            lines << it->text();
    }
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void OutputList::CopyToClipboard() {
    QApplication::clipboard()->setText(CopyText());
}

void OutputList::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("&Copy"));
    QAction* clearAll = menu.addAction(tr("&Clear"));
    menu.addSeparator();
    QAction* hide = menu.addAction(tr("&Hide"));
    copy->setData(57634);
    clearAll->setData(57632);
    hide->setData(149);
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == copy) {
        CopyToClipboard();
    } else if (chosen == clearAll) {
        clear();
    } else if (chosen == hide) {
        emit hideRequested();
    }
    setFocus();
}

// ---------------------------------------------------------------------------

OutputPane::OutputPane(QWidget* parent) : QDockWidget(tr("Output"), parent) {
    setObjectName(QStringLiteral("Output"));
    tabs_ = new QTabWidget(this);
    tabs_->setTabPosition(QTabWidget::South);
    tabs_->setDocumentMode(true);  // flat tabs
    list_ = new OutputList(tabs_);
    list_->setFont(QApplication::font());
    tabs_->addTab(list_, tr("Log"));
    setWidget(tabs_);
    connect(list_, &OutputList::hideRequested, this, [this] {
        hide();
        if (QWidget* frame = parentWidget())
            frame->setFocus();
    });
}

OutputPane::~OutputPane() = default;

QString OutputPane::Line(int index) const {
    const QListWidgetItem* it = list_->item(index);
    return it ? it->text() : QString();
}

bool OutputPane::SetLogFile(const QString& path, QString* error) {
    logFile_.close();
    logFile_.setFileName(path);
    if (!logFile_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (error)
            *error = logFile_.errorString();
        return false;
    }
    return true;
}

void OutputPane::PostWide(OutputLineKind kind, const wchar_t* format, va_list args,
                          const QString& prefix) {
    if (!format || std::wcslen(format) > static_cast<size_t>(kMaxOutputText))
        return;
    wchar_t text[kMaxOutputText + 1];
    text[0] = L'\0';
    // On overflow (or a narrow argument that does not convert) glibc stops
    // there; the line keeps what was written.
    std::vswprintf(text, kMaxOutputText + 1, format, args);
    text[kMaxOutputText] = L'\0';
    Post(kind, prefix + QString::fromWCharArray(text));
}

void OutputPane::TraceMessage(const wchar_t*, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    PostWide(OutputLineKind::Message, format, args);
    va_end(args);
}

void OutputPane::TraceError(const wchar_t*, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    PostWide(OutputLineKind::Error, format, args);
    va_end(args);
}

void OutputPane::TraceWarning(const wchar_t*, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    PostWide(OutputLineKind::Warning, format, args);
    va_end(args);
}

void OutputPane::LogMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PostNarrow(OutputLineKind::Message, format, args, LinkPrefix());
    va_end(args);
}

void OutputPane::LogError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PostNarrow(OutputLineKind::Error, format, args, LinkPrefix());
    va_end(args);
}

void OutputPane::PostNarrow(OutputLineKind kind, const char* format, va_list args,
                            const QString& prefix) {
    if (!format || std::strlen(format) > static_cast<size_t>(kMaxOutputText))
        return;
    char text[kMaxOutputText + 1];
    std::vsnprintf(text, sizeof text, format, args);
    Post(kind, prefix + QString::fromUtf8(text));
}

void OutputPane::SetLinkPrefix(const QString& prefix) {
    std::lock_guard<std::mutex> lock(linkPrefixMutex_);
    linkPrefix_ = prefix;
}

QString OutputPane::LinkPrefix() const {
    std::lock_guard<std::mutex> lock(linkPrefixMutex_);
    return linkPrefix_;
}

void OutputPane::Post(OutputLineKind kind, const QString& text) {
    widgets::PostFromWorkerThread(this, new OutputLineEvent(StampedLine(kind, text)));
}

bool OutputPane::event(QEvent* e) {
    platform::AcquireFromOtherThread(e);
    if (e->type() == OutputLineEvent::kType) {
        Append(static_cast<OutputLineEvent*>(e)->Line());
        return true;
    }
    return QDockWidget::event(e);
}

void OutputPane::Append(const QString& line) {
    list_->addItem(line);
    if (logFile_.isOpen()) {
        QTextStream out(&logFile_);
        out << line << '\n';
        out.flush();
    }
}

}  // namespace shell
