#include "recover/UniqueName.h"

#include "recover/SafeName.h"

#include <algorithm>
#include <cerrno>

namespace twl {
namespace {

// Numbered names tried for one item before it is given up as failed.
constexpr unsigned kMaxNumbered = 10000;

} // namespace

UniqueNames::Outcome UniqueNames::Find(int folder, const std::string& name, const Make& make) {
    Outcome outcome{name, make(name)};
    if (outcome.error != EEXIST)
        return outcome;
    // The asked name is taken: go on from the number given out last for it in this folder.
    unsigned& last = m_last[folder][name];
    const unsigned first = std::max(last, 1u) + 1;
    for (unsigned number = first; number < first + kMaxNumbered; ++number) {
        outcome.name = NumberedName(name, number);
        outcome.error = make(outcome.name);
        if (outcome.error != EEXIST) {
            last = number;
            return outcome;
        }
    }
    last = first + kMaxNumbered - 1;
    return outcome;
}

} // namespace twl
