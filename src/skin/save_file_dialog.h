// The desktop's save dialog as the viewer's tools use it: it proposes a name, filters by the
// file type, adds the type's extension to a name typed without one, and asks before an
// existing file is replaced.
#pragma once

#include <QString>
#include <QWidget>

namespace qelv::ui {

// The chosen file, or an empty text when the user cancelled. `suggestedPath`'s extension is
// the one added.
QString askSaveFile(QWidget* parent, const QString& title, const QString& suggestedPath,
                    const QString& filter);

}  // namespace qelv::ui
