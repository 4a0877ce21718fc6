#include "skin/window_guard.h"

#include <QPointer>
#include <QVariant>
#include <vector>

namespace qelv::ui {

namespace {
constexpr const char* kGuarded = "qelvGuarded";
constexpr const char* kDisabledByGuard = "qelvDisabledByGuard";
}  // namespace

void setWindowGuarded(QWidget* window, bool guarded) {
    if (window == nullptr || windowGuarded(window) == guarded) {
        return;
    }
    window->setProperty(kGuarded, guarded);
    for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow()) {
            continue;
        }
        if (guarded && child->isEnabled()) {
            // Only what the guard disabled is enabled again afterwards.
            child->setProperty(kDisabledByGuard, true);
            child->setEnabled(false);
        } else if (!guarded && child->property(kDisabledByGuard).toBool()) {
            child->setProperty(kDisabledByGuard, QVariant());
            child->setEnabled(true);
        }
    }
}

bool windowGuarded(const QWidget* window) {
    return window != nullptr && window->property(kGuarded).toBool();
}

}  // namespace qelv::ui
