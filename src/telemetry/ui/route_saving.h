// The map's "Save route as GPX..." and "Save route as KML...": the whole route of the
// recording being played, read again from its front file or its card file (the viewer's
// store keeps only its first minute), saved where the user says. A file that cannot be
// written is named in a message and nothing of it is left.
#pragma once

#include <QMenu>
#include <QString>
#include <QWidget>
#include <functional>

#include "shell/viewer_context.h"
#include "skin/save_file_dialog.h"
#include "telemetry/telemetry_files.h"

namespace qelv::ui {

class RouteSaving {
public:
    // Asks where to save: the chosen file, or an empty text when the user cancelled.
    using FileAsker = std::function<QString(QWidget* parent, const QString& title,
                                            const QString& suggestedPath, const QString& filter)>;

    // `askFile` by default the save dialog, which asks before a file is replaced.
    explicit RouteSaving(ViewerContext& context, FileAsker askFile = askSaveFile)
        : m_context(context), m_askFile(std::move(askFile)) {}
    void setFileAsker(FileAsker askFile) { m_askFile = std::move(askFile); }

    // Adds both entries to `menu`, enabled while a recording plays or is paused; they save
    // with `parent` as the owner of their dialogs.
    void addEntries(QMenu& menu, QWidget* parent);
    // Saves the route of the recording being played. False when nothing was saved: nothing
    // plays, the recording cannot be read or holds no position, the user cancelled, or the
    // file could not be written (the user was told which, except for the cancel).
    bool save(QWidget* parent, core::TelemetryFormat format);

private:
    bool playing();

    ViewerContext& m_context;
    FileAsker m_askFile;
    // Where the last route went: the next one is proposed there.
    QString m_folder;
};

}  // namespace qelv::ui
