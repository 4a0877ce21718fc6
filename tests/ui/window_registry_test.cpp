#include <gtest/gtest.h>

#include "shell/window_registry.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::WindowRegistry;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { WindowRegistry::instance().clear(); }
    void TearDown() override { WindowRegistry::instance().clear(); }
};

TEST_F(RegistryTest, ASecondWindowUnderAKeyReplacesTheFirst) {
    RecordingWindow first;
    RecordingWindow second;
    WindowRegistry::instance().add(137, &first);
    WindowRegistry::instance().add(139, &first);
    WindowRegistry::instance().add(137, &second);
    EXPECT_EQ(WindowRegistry::instance().find(137), &second);
    EXPECT_EQ(WindowRegistry::instance().find(139), &first);
    EXPECT_EQ(WindowRegistry::instance().size(), 2u);
}

TEST_F(RegistryTest, PostedMessagesArriveLaterWithTheirParameters) {
    RecordingWindow bar(135);
    WindowRegistry::instance().post(135, ui::kMsgPaneCommand, ui::kPaneReopen);
    WindowRegistry::instance().post(135, ui::kMsgSeek, 4200, 1);
    EXPECT_TRUE(bar.received.empty());  // the sender never waits for the receiver
    processPosted();
    EXPECT_EQ(bar.received, (std::vector<Received>{{1127, 5, 0}, {1126, 4200, 1}}));
    EXPECT_EQ(ui::sendMessage(WindowRegistry::instance().find(135), ui::kMsgButtonClicked, 3), 7);
}

TEST_F(RegistryTest, ADestroyedWindowIsForgottenAndItsMessagesDropped) {
    auto* map = new RecordingWindow(137);
    WindowRegistry::instance().post(137, ui::kMsgPaneCommand, ui::kToggleMap);
    delete map;  // with a message still queued for it
    processPosted();
    EXPECT_EQ(WindowRegistry::instance().find(137), nullptr);
    EXPECT_EQ(WindowRegistry::instance().size(), 0u);
    WindowRegistry::instance().post(137, ui::kMsgPaneCommand, ui::kToggleMap);
    EXPECT_EQ(ui::sendMessage(WindowRegistry::instance().find(137), ui::kMsgPaneCommand, 1), -1);
    EXPECT_EQ(WindowRegistry::instance().find(999), nullptr);
}

TEST(WindowMessage, NumbersAreTheOnesThePanesHaveAlwaysUsed) {
    EXPECT_EQ(ui::kMsgPaneSelect, 1124u);
    EXPECT_EQ(ui::kMsgSliderChanged, 1125u);
    EXPECT_EQ(ui::kMsgSeek, 1126u);
    EXPECT_EQ(ui::kMsgPaneCommand, 1127u);
    EXPECT_EQ(ui::kMsgModalGuard, 1128u);
    EXPECT_EQ(ui::kMsgButtonClicked, 2024u);
}

}  // namespace
}  // namespace qelv::test
