// Every write-failure test fails each writing step of a rewrite in turn: this is the loop.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "robustness/faultyfs.h"

namespace barwise::robustness {

// Runs `check` once for each step of `steps` the run counted by `counter` took, with that one
// step failing in a fresh faulty file system (the trace names it); returns how many runs it
// made. With `everyStep`, fails when the run takes none of some step.
inline int ForEachFailingStep(const FaultyFileSystem& counter,
                              const std::function<void(FaultyFileSystem&)>& check,
                              bool everyStep = true,
                              const std::vector<Step>& steps = {kWritingSteps.begin(),
                                                                kWritingSteps.end()}) {
    int injected = 0;
    for (Step step : steps) {
        if (everyStep) {
            EXPECT_GT(counter.count(step), 0) << "the rewrite never does " << StepName(step);
        }
        for (int n = 1; n <= counter.count(step); ++n, ++injected) {
            SCOPED_TRACE(std::string(StepName(step)) + " #" + std::to_string(n));
            FaultyFileSystem faulty(step, n);
            check(faulty);
        }
    }
    return injected;
}

}  // namespace barwise::robustness
