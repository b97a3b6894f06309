// Random operator sessions at length: bench_operator_session [SEEDS [STEPS [FIRST]]] runs SEEDS
// sessions (default 20) of STEPS steps (default 500) with the seeds FIRST, FIRST + 1, ..
// (default 1000, past the suite's own). Prints each session and the first violation of each kind;
// exit code 1 when any was found. ORVELA_SESSION_TRACE=1 prints every step.
#include "OperatorSession.h"

#include <QApplication>


#include <cstdio>
#include <cstdlib>
#include <map>

int main(int argc, char** argv)
{
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    const int seeds = argc > 1 ? std::atoi(argv[1]) : 20;
    const int steps = argc > 2 ? std::atoi(argv[2]) : 500;
    const std::uint64_t first = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1000;
    if (seeds < 1 || steps < 1) {
        std::fprintf(stderr, "usage: bench_operator_session [SEEDS [STEPS [FIRST]]]\n");
        return 2;
    }
    std::map<std::string, int> failing;  // seeds that broke each invariant
    for (std::uint64_t seed = first; seed < first + static_cast<std::uint64_t>(seeds); ++seed) {
        TSessionSettings settings;
        settings.Seed = seed;
        settings.Steps = steps;
        settings.Trace = qEnvironmentVariableIntValue("ORVELA_SESSION_TRACE") != 0;
        const TSessionOutcome outcome = RunOperatorSession(settings);
        std::printf("seed %llu: %d commands, %d cycles, %d exchanges, %d history readings in %lld ms%s\n",
                    static_cast<unsigned long long>(seed), outcome.Commands, outcome.Cycles, outcome.Exchanges,
                    outcome.Readings, outcome.Ms, outcome.Violations.empty() ? "" : ", VIOLATED:");
        for (const auto& [kind, text] : outcome.Violations) {
            ++failing[kind];
            std::printf("  %s, %d time(s); the first at %s\n", kind.c_str(), outcome.Counts.at(kind), text.c_str());
        }
        std::fflush(stdout);
    }
    std::printf("\n%d sessions of %d steps;", seeds, steps);
    if (failing.empty())
        std::printf(" every invariant held\n");
    for (const auto& [kind, count] : failing)
        std::printf(" %s broken in %d;", kind.c_str(), count);
    std::printf("\n");
    return failing.empty() ? 0 : 1;
}
