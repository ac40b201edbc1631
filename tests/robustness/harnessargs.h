// The command line of the robustness harnesses: options that each take a value
// ("--seed 7"). A count is its whole text in digits or the line is refused.
#pragma once

#include <map>
#include <set>
#include <string>

namespace barwise::robustness {

class HarnessArgs {
public:
    HarnessArgs(int argc, char** argv, const std::set<std::string>& names) {
        for (int i = 1; ok_ && i < argc; i += 2) {
            ok_ = names.count(argv[i]) != 0 && i + 1 < argc;
            if (ok_) values_[argv[i]] = argv[i + 1];
        }
    }
    bool ok() const { return ok_; }
    std::string text(const std::string& name) const {
        return values_.count(name) ? values_.at(name) : "";
    }
    // The option's number, the fallback when it is not given.
    unsigned long long count(const std::string& name, unsigned long long fallback) {
        const std::string t = text(name);
        if (t.empty()) return fallback;
        ok_ = ok_ && t.size() < 20 && t.find_first_not_of("0123456789") == std::string::npos;
        return ok_ ? std::stoull(t) : fallback;
    }

private:
    bool ok_ = true;
    std::map<std::string, std::string> values_;
};

}  // namespace barwise::robustness
