#include "shell/device_selector.h"

#include "discovery/ui/device_selection_dialog.h"

namespace shell {

bool DeviceSelector::SelectDevices(const DeviceSelectionContext& context,
                                   QList<DeviceChoice>* choices) {
    DeviceChoice choice;
    if (!SelectDevice(context, &choice))
        return false;
    *choices = {choice};
    return true;
}

bool DeviceSelector::SelectDevice(const DeviceSelectionContext&, DeviceChoice*) {
    return false;
}

bool DialogDeviceSelector::SelectDevices(const DeviceSelectionContext& context,
                                         QList<DeviceChoice>* choices) {
    discovery::ui::DeviceSelectionDialog::Services services;
    services.messageBox = context.messageBox;
    services.traceLog = context.traceLog;
    discovery::ui::DeviceSelectionDialog dlg(services, context.parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    choices->clear();
    for (const discovery::ui::DeviceSelectionDialog::Choice& c : dlg.Selected())
        choices->append(DeviceChoice{c.address, c.name});
    return !choices->isEmpty();
}

}  // namespace shell
