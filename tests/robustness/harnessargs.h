// The command line of the robustness harnesses: options that take a value ("--seed 7") and
// options that stand alone ("--verbose"). A number is its whole text or the line is refused.
#pragma once

#include <cstdlib>
#include <map>
#include <set>
#include <string>

namespace barwise::robustness {

class HarnessArgs {
public:
    HarnessArgs(int argc, char** argv, const std::set<std::string>& valued, const std::set<std::string>& flags) {
        for (int i = 1; ok_ && i < argc; ++i) {
            const std::string a = argv[i];
            if (flags.count(a)) {
                flags_.insert(a);
            } else if (valued.count(a) && i + 1 < argc) {
                values_[a] = argv[++i];
            } else {
                ok_ = false;
            }
        }
    }
    bool ok() const { return ok_; }
    bool flag(const std::string& name) const { return flags_.count(name) != 0; }
    std::string text(const std::string& name, const std::string& fallback = "") const {
        const auto it = values_.find(name);
        return it == values_.end() ? fallback : it->second;
    }
    // The option's number, the fallback when it is not given; a text that is not a whole
    // number (a count: no sign) makes the command line refused.
    unsigned long long count(const std::string& name, unsigned long long fallback) { return parse(name, fallback, false); }
    double real(const std::string& name, double fallback) { return parse(name, fallback, true); }

private:
    template <class T>
    T parse(const std::string& name, T fallback, bool real) {
        const auto it = values_.find(name);
        if (it == values_.end()) return fallback;
        const char* text = it->second.c_str();
        char* end = nullptr;
        const T v = real ? static_cast<T>(std::strtod(text, &end)) : static_cast<T>(std::strtoull(text, &end, 10));
        if (*text == '\0' || *end != '\0' || (!real && (*text < '0' || *text > '9'))) ok_ = false;
        return v;
    }

    bool ok_ = true;
    std::map<std::string, std::string> values_;
    std::set<std::string> flags_;
};

}  // namespace barwise::robustness
