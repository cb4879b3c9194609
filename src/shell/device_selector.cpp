#include "shell/device_selector.h"

#include "discovery/ui/connect_dlg.h"

bool CConnectDlgSelector::SelectDevice(const DeviceSelectionContext& context, DeviceChoice* choice) {
    CConnectDlg::Services services;
    services.messageBox = context.messageBox;
    services.traceLog = context.traceLog;
    CConnectDlg dlg(services, context.parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    choice->address = dlg.SelectedIP();
    choice->name = dlg.SelectedName();
    return true;
}
