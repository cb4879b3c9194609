#include "shell/device_selector.h"

#include "discovery/ui/device_selection_dialog.h"

namespace shell {

bool DialogDeviceSelector::SelectDevice(const DeviceSelectionContext& context,
                                        DeviceChoice* choice) {
    discovery::ui::DeviceSelectionDialog::Services services;
    services.messageBox = context.messageBox;
    services.traceLog = context.traceLog;
    discovery::ui::DeviceSelectionDialog dlg(services, context.parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    choice->address = dlg.SelectedIP();
    choice->name = dlg.SelectedName();
    return true;
}

}  // namespace shell
