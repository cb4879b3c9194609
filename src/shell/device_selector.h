#pragma once
// How the main frame asks the operator for a controller: modally, with the
// chosen address text and name text as the answer. The program's selector
// runs the device selection dialog; tests answer with scripted choices.

#include <QString>

class IMessageBox;
class ITraceLog;
class QWidget;

namespace shell {

struct DeviceChoice {
    QString address;  // host for the link: dotted address, "Unknown" or a typed name
    QString name;
};

struct DeviceSelectionContext {
    QWidget* parent = nullptr;
    IMessageBox* messageBox = nullptr;
    ITraceLog* traceLog = nullptr;
};

class IDeviceSelector {
public:
    virtual ~IDeviceSelector() = default;
    // False when the operator cancelled.
    virtual bool SelectDevice(const DeviceSelectionContext& context, DeviceChoice* choice) = 0;
};

// The device selection dialog, a fresh one each time.
class CConnectDlgSelector : public IDeviceSelector {
public:
    bool SelectDevice(const DeviceSelectionContext& context, DeviceChoice* choice) override;
};

}  // namespace shell
