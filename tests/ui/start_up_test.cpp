#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>
#include <future>

#include "app/qv_nplayer_app.h"
#include "app/single_instance.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

TEST(StartOptions, ReadsTheCommandLine) {
    struct Case {
        QStringList arguments;
        QString source;
        bool state;
        bool help;
        bool error;
    };
    const Case cases[] = {
        {{}, {}, false, false, false},
        {{QStringLiteral("--source"), QStringLiteral("/media/card")},
         QStringLiteral("/media/card"),
         false,
         false,
         false},
        {{QStringLiteral("--state")}, {}, true, false, false},
        {{QStringLiteral("--help")}, {}, false, true, false},
        {{QStringLiteral("--source")}, {}, false, false, true},  // no folder given
        {{QStringLiteral("--bogus")}, {}, false, false, true},
        // A folder alone, as a file manager's "Open with" passes it; only one.
        {{QStringLiteral("/media/card")}, QStringLiteral("/media/card"), false, false, false},
        {{QStringLiteral("/media/a"), QStringLiteral("/media/b")},
         QStringLiteral("/media/a"),
         false,
         false,
         true},
    };
    for (const Case& c : cases) {
        const ui::StartOptions options =
            ui::parseStartOptions(QStringList{QStringLiteral("qelv-viewer")} + c.arguments);
        EXPECT_EQ(options.source, c.source) << c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(options.stateQuery, c.state);
        EXPECT_EQ(options.help, c.help);
        EXPECT_EQ(!options.error.isEmpty(), c.error);
        // Only a folder alone (from a file manager) is also told in a box.
        EXPECT_EQ(options.sourceAlone,
                  !c.arguments.isEmpty() && !c.arguments[0].startsWith(QLatin1Char('-')));
    }
}

TEST(SingleInstance, ASecondStartReachesTheFirstAndCannotTakeTheLock) {
    QTemporaryDir runtime;
    ui::SingleInstance first(runtime.path());
    ASSERT_TRUE(first.acquire());
    first.setStateProvider([] { return QByteArray("{\"title\":\"QELV Viewer\"}"); });
    int raised = 0;
    QObject::connect(&first, &ui::SingleInstance::raiseRequested, [&raised] { ++raised; });

    ui::SingleInstance second(runtime.path());
    EXPECT_FALSE(second.acquire());
    // The second start talks from its own thread while the first one's loop answers.
    auto raise = std::async(std::launch::async, [&] { return second.ask("raise"); });
    ASSERT_TRUE(waitFor(
        [&] { return raise.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(raise.get(), QByteArray("ok"));
    EXPECT_EQ(raised, 1);
    auto state = std::async(std::launch::async, [&] { return second.ask("state"); });
    ASSERT_TRUE(waitFor(
        [&] { return state.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(state.get(), QByteArray("{\"title\":\"QELV Viewer\"}"));
    // A later start with a folder hands it over; the first viewer says how it went.
    QString opened;
    first.setSourceHandler([&opened](const QString& folder) {
        opened = folder;
        return QByteArray("no recordings in ") + folder.toUtf8();
    });
    auto source = std::async(std::launch::async, [&] { return second.ask("source /media/a b"); });
    ASSERT_TRUE(waitFor(
        [&] { return source.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(source.get(), QByteArray("no recordings in /media/a b"));
    EXPECT_EQ(opened, QStringLiteral("/media/a b"));
}

TEST(SingleInstance, NobodyAnswersWhenNoViewerRuns) {
    QTemporaryDir runtime;
    ui::SingleInstance alone(runtime.path());
    EXPECT_FALSE(alone.ask("raise", 200).has_value());
    // The lock of a viewer that ended is free again.
    {
        ui::SingleInstance ended(runtime.path());
        ASSERT_TRUE(ended.acquire());
    }
    ui::SingleInstance next(runtime.path());
    EXPECT_TRUE(next.acquire());
}

}  // namespace
}  // namespace qelv::test
