#include "app/qv_nplayer_app.h"

#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <iostream>

#include "app/qv_nplayer_dlg.h"
#include "app/single_instance.h"
#include "app/viewer_state.h"
#include "common/data_files.h"
#include "config/config_store.h"
#include "playback/filter_check.h"
#include "shell/viewer_context.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "skin/skin_bitmaps.h"
#include "storage/ui/file_manager_dlg.h"
#include "telemetry/ui/tile_source.h"

namespace qelv::ui {

namespace {

constexpr const char* kUsage =
    "usage: qelv-viewer [--source DIR | DIR]\n"
    "       qelv-viewer --state\n"
    "  --source DIR   open the recordings of a folder on this PC (or a card's folder) at once;\n"
    "                 DIR alone does the same\n"
    "  --state        print the running viewer's windows and list rows as JSON\n"
    "Exit status with --source: 0 the folder's recordings are listed (a first start: once the\n"
    "viewer is closed); 1 the folder was not opened and no list changed (no recordings, the\n"
    "running viewer has a dialog open or does not answer); 2 a bad command line or no such\n"
    "folder.\n";

// Windows are placed on the screen by the viewer itself, which Wayland does not allow: run
// through XWayland there, unless the user chose a platform.
void preferX11() {
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && qEnvironmentVariableIsSet("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
}

// Fatal start-up messages also go to the terminal the viewer may have been started from.
void tellUser(const QString& text) {
    std::fprintf(stderr, "qelv-viewer: %s\n", qPrintable(text));
    showMessageBox(nullptr, text, MessageIcon::None);
}

// Milliseconds since the kernel started this process (10 ms steps), for start-up measurements;
// -1 when /proc cannot tell.
long long millisecondsSinceProcessStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly)) {
        return -1;
    }
    // The command name may hold blanks: the fields are counted after its closing parenthesis.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    constexpr int kStartTimeField = 19;  // field 22 of the whole line
    if (fields.size() <= kStartTimeField) {
        return -1;
    }
    const double started = fields[kStartTimeField].toDouble() / sysconf(_SC_CLK_TCK);
    const double now = uptime.readAll().split(' ').value(0).toDouble();
    return static_cast<long long>((now - started) * 1000.0);
}

// Makes `folder` the recording list's source: "ok", or why not. The folder is checked before
// anything changes: one that cannot be listed leaves the list as it is.
QByteArray openSourceFolder(const QString& folder) {
    if (QApplication::activeModalWidget() != nullptr) {
        return "the viewer has a dialog open; " + folder.toUtf8() + " was not opened";
    }
    auto* list = dynamic_cast<CFileManagerDlg*>(WindowRegistry::instance().find(kKeyFileList));
    if (list == nullptr) {
        return "the viewer has no recording list";
    }
    if (const QString problem = list->folderProblem(folder); !problem.isEmpty()) {
        return problem.toUtf8();
    }
    if (!list->openFolder(folder)) {
        return "no recordings in " + folder.toUtf8();
    }
    return "ok";
}

// A later start: the first viewer comes forward (with the folder, when one was given); this
// one ends without a window. The exit status: 0, or 1 when the folder was not opened.
// `inBox`: the start came from a file manager, where no one reads standard error.
int handOverToFirstViewer(const SingleInstance& instance, const QString& folder, bool inBox) {
    int status = 0;
    if (!folder.isEmpty()) {
        // Listing may repair unfinished recordings first: give it time.
        const auto answer = instance.ask("source " + folder.toUtf8(), 60000);
        if (!answer || *answer != "ok") {
            const QByteArray why = answer ? *answer
                                          : "the running viewer did not answer; " +
                                                folder.toUtf8() + " was not opened";
            if (inBox) {
                tellUser(QString::fromUtf8(why));
            } else {
                std::fprintf(stderr, "qelv-viewer: %s\n", why.constData());
            }
            status = 1;
        }
    }
    instance.ask("raise");
    return status;
}

}  // namespace

StartOptions parseStartOptions(const QStringList& arguments) {
    StartOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--source") && i + 1 < arguments.size()) {
            options.source = arguments[++i];
        } else if (argument == QStringLiteral("--state")) {
            options.stateQuery = true;
        } else if (argument == QStringLiteral("--exit-after-first-paint")) {
            options.exitAfterPaint = true;
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            options.help = true;
        } else if (!argument.startsWith(QLatin1Char('-')) && options.source.isEmpty()) {
            // A folder alone, as a file manager's "Open with" passes it.
            options.source = argument;
            options.sourceAlone = true;
        } else {
            options.error = QStringLiteral("unknown argument: %1").arg(argument);
            break;
        }
    }
    return options;
}

int CQV_NPlayerApp::run(int argc, char** argv) {
    preferX11();
    // The map's browser shares the windows' graphics contexts; it must be said before the
    // application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The map page's tiles come through a scheme of the viewer's own, which the browser must
    // know before the application object exists.
    registerMapTileScheme();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Local application"));
    QApplication::setApplicationName(QStringLiteral("QELV Viewer"));

    const StartOptions options = parseStartOptions(QApplication::arguments());
    if (options.help || !options.error.isEmpty()) {
        if (!options.error.isEmpty()) {
            std::fprintf(stderr, "qelv-viewer: %s\n", qPrintable(options.error));
        }
        std::fputs(kUsage, options.help ? stdout : stderr);
        return options.help ? 0 : 2;
    }

    SingleInstance instance;
    if (options.stateQuery) {
        // A busy viewer (a card of thousands of rows, a sanitizer build) may take seconds to
        // answer; with none running the connection fails at once.
        constexpr int kStateWaitMs = 10000;
        const auto state = instance.ask("state", kStateWaitMs);
        if (!state) {
            std::fprintf(stderr,
                         "qelv-viewer: no viewer is running, or it did not answer in 10 s\n");
            return 1;
        }
        std::printf("%s\n", state->constData());
        return 0;
    }
    const QString sourceFolder = QFileInfo(options.source).absoluteFilePath();
    if (!options.source.isEmpty() && !QFileInfo(sourceFolder).isDir()) {
        const QString why = QStringLiteral("%1 is not a folder").arg(options.source);
        if (options.sourceAlone) {
            tellUser(why);
        } else {
            std::fprintf(stderr, "qelv-viewer: %s\n", qPrintable(why));
        }
        return 2;
    }
    if (!instance.acquire()) {
        return handOverToFirstViewer(instance, options.source.isEmpty() ? QString() : sourceFolder,
                                     options.sourceAlone);
    }

    if (!loadSkinLibrary(QString::fromStdString(core::dataFile("ResourceDll.rcc").string()))) {
        tellUser(QStringLiteral("Not Find ResourceDll"));
        return 1;
    }
    // A missing or broken file leaves the defaults; the diagnostics go to standard output.
    core::ConfigStore::shared(core::configurationFile(), std::cout);

    return runMainWindow(instance, options, sourceFolder);
}

int CQV_NPlayerApp::runMainWindow(SingleInstance& instance, const StartOptions& options,
                                  const QString& sourceFolder) {
    ViewerContext& context = ViewerContext::instance();
    // [Playback] decoder=software keeps the cameras off a hardware decoder (auto: one is used
    // where GStreamer offers it).
    const QString decoder = QSettings().value(QStringLiteral("Playback/decoder")).toString();
    const auto preference = media::decoderPreferenceOf(decoder.toStdString());
    if (!preference && !decoder.isEmpty()) {
        std::cerr << "qelv-viewer: [Playback] decoder=" << decoder.toStdString()
                  << " is neither auto nor software: auto is used\n";
    }
    context.engine().setDecoderPreference(preference.value_or(media::DecoderPreference::Auto));
    CQV_NPlayerDlg main(context, createViewerPanes, [] { return media::ensureFilters(); });
    QObject::connect(&instance, &SingleInstance::raiseRequested, &main, [&main] {
        if (main.isMinimized()) {
            main.showNormal();
        }
        main.raise();
        main.activateWindow();
    });
    instance.setStateProvider([&main, &context] { return viewerStateJson(main, context); });
    instance.setSourceHandler([](const QString& folder) { return openSourceFolder(folder); });
    if (options.exitAfterPaint) {
        QObject::connect(&main, &CQV_NPlayerDlg::firstPainted, &main, [&main] {
            std::printf("first paint %lld ms after the process started\n",
                        millisecondsSinceProcessStart());
            std::fflush(stdout);
            QTimer::singleShot(0, &main, [&main] { main.close(); });
        });
    }
    if (!main.create()) {
        // The main window told the user; the terminal hears it too.
        std::fprintf(stderr, "qelv-viewer: Not Find QV filter\n");
        return 1;
    }
    if (!options.source.isEmpty()) {
        // A folder that cannot be listed ends the start before any window shows, as a later
        // start with it ends.
        const QByteArray answer = openSourceFolder(sourceFolder);
        if (answer != "ok") {
            if (options.sourceAlone) {
                tellUser(QString::fromUtf8(answer));
            } else {
                std::fprintf(stderr, "qelv-viewer: %s\n", answer.constData());
            }
            WindowRegistry::instance().clear();
            return 1;
        }
    }
    main.exec();
    WindowRegistry::instance().clear();
    return 0;
}

}  // namespace qelv::ui
