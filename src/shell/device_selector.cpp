#include "shell/device_selector.h"

#include "discovery/ui/connect_dlg.h"

namespace shell {

bool CConnectDlgSelector::SelectDevice(const DeviceSelectionContext& context,
                                       DeviceChoice* choice) {
    discovery::ui::CConnectDlg::Services services;
    services.messageBox = context.messageBox;
    services.traceLog = context.traceLog;
    discovery::ui::CConnectDlg dlg(services, context.parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    choice->address = dlg.SelectedIP();
    choice->name = dlg.SelectedName();
    return true;
}

}  // namespace shell
