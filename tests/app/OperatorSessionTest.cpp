// Random operator sessions at the window against a misbehaving simulator. A failing seed is
// replayed alone with ORVELA_SESSION_SEED=<seed> (ORVELA_SESSION_STEPS sets the steps,
// ORVELA_SESSION_TRACE=1 prints every step, ORVELA_SESSION_HANG_MS sets the longest block allowed,
// 2000 by default); longer runs: bench_operator_session.
#include "OperatorSession.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <iostream>

namespace {

// Three seeds, each a test of its own so that the shards of the binary share them out.
std::vector<std::uint64_t> Seeds()
{
    if (const QByteArray replay = qgetenv("ORVELA_SESSION_SEED"); !replay.isEmpty())
        return {static_cast<std::uint64_t>(replay.toULongLong())};
    return {1, 2, 3};
}

class OperatorSession : public testing::TestWithParam<std::uint64_t>
{
};

}  // namespace

TEST_P(OperatorSession, RandomSessionKeepsEveryInvariant)
{
    const std::uint64_t seed = GetParam();
    const int steps = qEnvironmentVariableIsSet("ORVELA_SESSION_STEPS") ? qEnvironmentVariableIntValue("ORVELA_SESSION_STEPS")
                                                                        : 100;
    TSessionSettings settings;
    settings.Seed = seed;
    settings.Steps = steps;
    settings.Trace = qEnvironmentVariableIntValue("ORVELA_SESSION_TRACE") != 0;
    if (const int hang = qEnvironmentVariableIntValue("ORVELA_SESSION_HANG_MS"); hang > 0)
        settings.HangMs = hang;
    const TSessionOutcome outcome = RunOperatorSession(settings);
    std::cout << "[ session  ] seed " << seed << ": " << steps << " steps, " << outcome.Commands << " commands, "
              << outcome.Cycles << " cycles, " << outcome.Exchanges << " exchanges, " << outcome.Readings << " history readings in " << outcome.Ms << " ms\n";
    for (const auto& [kind, first] : outcome.Violations)
        ADD_FAILURE() << "seed " << seed << " (replay: ORVELA_SESSION_SEED=" << seed << "), " << kind << ", "
                      << outcome.Counts.at(kind) << " time(s); the first at " << first;
}

INSTANTIATE_TEST_SUITE_P(Seeds, OperatorSession, testing::ValuesIn(Seeds()));
