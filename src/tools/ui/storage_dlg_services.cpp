// What the storage dialog uses on this machine: the drive discovery, the card figures, the
// mount-table watch and the disk service (udisks2 on the system bus).
#include <QDBusConnection>

#include "platform/card_formatter.h"
#include "platform/drive_discovery.h"
#include "platform/mount_watch.h"
#include "tools/ui/wyfs_formatter_dlg.h"

namespace qelv::ui {

FormatOutcome formatOutcomeOf(const platform::FormatResult& result) {
    using Status = platform::FormatResult::Status;
    switch (result.status) {
        case Status::Formatted:
            return {true, QString::fromLatin1(CWYFSFormatterDlg::kCompleted)};
        case Status::Refused:
            return {false, QStringLiteral("Format refused: %1").arg(result.message)};
        case Status::NotAuthorized:
            return {false, QStringLiteral("Format not authorised: %1").arg(result.message)};
        case Status::Cancelled:
            return {false, QStringLiteral("Format cancelled: %1").arg(result.message)};
        case Status::Failed:
            break;
    }
    return {false, QStringLiteral("Format failed: %1").arg(result.message)};
}

StorageDlgServices CWYFSFormatterDlg::defaultServices() {
    StorageDlgServices services;
    services.discover = [] { return platform::discoverDrives(platform::systemPaths(), {}); };
    services.figures = [](const core::StorageCard& card) { return core::cardStorageFigures(card); };
    services.format = [](const QString& device, std::function<void(const QString&)> step,
                         std::function<void(const FormatOutcome&)> done) {
        // One formatter per run; it goes once it has said how the run ended.
        auto* formatter =
            new platform::CardFormatter(QDBusConnection::systemBus(), platform::systemPaths());
        QObject::connect(formatter, &platform::CardFormatter::stepChanged, formatter,
                         [step](const QString& text) { step(text); });
        QObject::connect(formatter, &platform::CardFormatter::finished, formatter,
                         [formatter, done](const platform::FormatResult& result) {
                             done(formatOutcomeOf(result));
                             formatter->deleteLater();
                         });
        if (!formatter->start(device)) {
            done({false, QStringLiteral("Format failed: another format is running.")});
            formatter->deleteLater();
        }
    };
    services.watch = [](QDialog& dialog) {
        auto* watch = new platform::MountWatch(platform::systemPaths(), &dialog);
        QObject::connect(watch, &platform::MountWatch::changed, &dialog,
                         [&dialog] { postMessage(&dialog, kMsgDriveChange, 0); });
    };
    return services;
}

}  // namespace qelv::ui
