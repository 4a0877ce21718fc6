// What the storage dialog uses on this machine: the drive discovery, the card figures, the
// mount-table watch and the disk service.
#include "platform/drive_discovery.h"
#include "platform/mount_watch.h"
#include "tools/ui/wyfs_formatter_dlg.h"

namespace qelv::ui {

StorageDlgServices CWYFSFormatterDlg::defaultServices() {
    StorageDlgServices services;
    services.discover = [] { return platform::discoverDrives(platform::systemPaths(), {}); };
    services.figures = [](const core::StorageCard& card) { return core::cardStorageFigures(card); };
    services.watch = [](QDialog& dialog) {
        auto* watch = new platform::MountWatch(platform::systemPaths(), &dialog);
        QObject::connect(watch, &platform::MountWatch::changed, &dialog,
                         [&dialog] { postMessage(&dialog, kMsgDriveChange, 0); });
    };
    return services;
}

}  // namespace qelv::ui
