// Every write-failure test fails each writing step of a rewrite in turn: this is the loop.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "robustness/faultyfs.h"

namespace barwise::robustness {

// Runs `check` once for each writing step the run counted by `counter` took, with that one
// step failing in a fresh faulty file system; fails when the run takes none of some step.
inline int ForEachFailingStep(const FaultyFileSystem& counter, const std::function<void(FaultyFileSystem&)>& check) {
    int injected = 0;
    for (Step step : kWritingSteps) {
        EXPECT_GT(counter.count(step), 0) << "the rewrite never does " << StepName(step);
        for (int n = 1; n <= counter.count(step); ++n, ++injected) {
            SCOPED_TRACE(std::string(StepName(step)) + " #" + std::to_string(n));
            FaultyFileSystem faulty(step, n);
            check(faulty);
        }
    }
    return injected;
}

}  // namespace barwise::robustness
