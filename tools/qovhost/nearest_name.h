// "Did you mean ...?": the candidate nearest to a misspelt name, counted in letters
// inserted, removed or replaced, in any letter case.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qov::qovhost {

// Letters inserted, removed or replaced to turn one name into the other, in any case.
std::size_t editDistance(const std::string& a, const std::string& b);

// The candidate nearest to `name`, or "" when none is near enough to be what was meant: at
// most two edits away, or a third of the name's length for long names, so that a wrong
// name is not answered with an unrelated one.
std::string nearestName(const std::string& name, const std::vector<std::string>& candidates);

}  // namespace qov::qovhost
