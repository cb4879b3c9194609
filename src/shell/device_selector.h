#pragma once
// How the main frame asks the operator for a controller: modally, with the
// chosen address text and name text as the answer. The program's selector
// runs the device selection dialog; tests answer with scripted choices.

#include <QList>
#include <QString>

namespace platform {
class MessageBox;
}
namespace platform {
class TraceLog;
}
class QWidget;

namespace shell {

struct DeviceChoice {
    QString address;  // host for the link: dotted address, "Unknown" or a typed name
    QString name;
};

struct DeviceSelectionContext {
    QWidget* parent = nullptr;
    platform::MessageBox* messageBox = nullptr;
    platform::TraceLog* traceLog = nullptr;
};

class DeviceSelector {
public:
    virtual ~DeviceSelector() = default;
    // Every controller the operator chose, in the list's order; false when
    // the operator cancelled. By default the one SelectDevice gives.
    virtual bool SelectDevices(const DeviceSelectionContext& context, QList<DeviceChoice>* choices);
    // One controller; false when cancelled (or not overridden).
    virtual bool SelectDevice(const DeviceSelectionContext& context, DeviceChoice* choice);
};

// The device selection dialog, a fresh one each time.
class DialogDeviceSelector : public DeviceSelector {
public:
    bool SelectDevices(const DeviceSelectionContext& context,
                       QList<DeviceChoice>* choices) override;
};

}  // namespace shell
