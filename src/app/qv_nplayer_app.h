// The viewer's start-up: one instance per user, the skin beside the program, the
// configuration beside the program, then the main window until it closes.
#pragma once

#include <QString>
#include <QStringList>

namespace qelv::ui {

struct StartOptions {
    QString source;               // --source DIR: a folder on the PC opened at once
    bool sourceAlone = false;     // DIR alone (a file manager's "Open with"): told in a box too
    bool stateQuery = false;      // --state: print a running viewer's state and end
    bool exitAfterPaint = false;  // --exit-after-first-paint: start-up measurements
    bool help = false;
    QString error;  // a bad command line
};

StartOptions parseStartOptions(const QStringList& arguments);

class SingleInstance;

class CQV_NPlayerApp {
public:
    // Everything from the process start to the end of the main window; the exit status.
    static int run(int argc, char** argv);

private:
    // The first viewer, skin and configuration loaded: the main window until it closes.
    static int runMainWindow(SingleInstance& instance, const StartOptions& options,
                             const QString& sourceFolder);
};

}  // namespace qelv::ui
