// The real program killed with SIGKILL at seeded random moments and started again at once, on
// each backend, until its queue is empty: no job is lost, left queued or logged twice; a card or
// a pulse that was out in the milliseconds before its journal record may come out once more.
#include <gtest/gtest.h>

#include "KillSoak.h"

namespace {

using dbtest::Backend;

class KillSoak : public ::testing::TestWithParam<Backend> {};

TEST_P(KillSoak, EveryJobOnceThroughRandomKills) {
    PLINOVA_REQUIRE_BACKEND(GetParam());
    soak::Plan plan;
    plan.backend = GetParam();
    plan.program = QStringLiteral(PLINOVA_PROGRAM);
    plan.jobs = 10;
    plan.kills = 8;
    plan.seed = GetParam() == Backend::SQLite ? 1 : 2;
    const soak::Counts c = soak::Run(plan);
    ASSERT_TRUE(c.failure.isEmpty()) << c.failure.toStdString();
    EXPECT_EQ(c.left, 0);
    EXPECT_EQ(c.cardsLost, 0);
    EXPECT_EQ(c.unreleased, 0);
    EXPECT_EQ(c.notLogged, 0);
    EXPECT_EQ(c.loggedTwice, 0);
    EXPECT_GE(c.pulses, c.drawers);
    EXPECT_LE(c.cardsTwice + (c.pulses - c.drawers), 1) << "more than the window's share";
    RecordProperty("kills", c.kills);
    RecordProperty("cards_twice", c.cardsTwice);
    RecordProperty("seconds", static_cast<int>(c.seconds));
}

INSTANTIATE_TEST_SUITE_P(Backends, KillSoak,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         [](const auto& info) { return dbtest::BackendName(info.param); });

} // namespace
