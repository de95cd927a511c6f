// Edit distances and the nearest candidate.
#include "tools/qovhost/nearest_name.h"

#include <algorithm>
#include <cctype>

namespace qov::qovhost {
namespace {

constexpr std::size_t kFewestSuggestedEdits = 2;
constexpr std::size_t kEditsPerLength = 3;

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::size_t editDistance(const std::string& a, const std::string& b) {
  const std::string x = lowerCase(a), y = lowerCase(b);
  std::vector<std::size_t> row(y.size() + 1);
  for (std::size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= x.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= y.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
}

std::string nearestName(const std::string& name, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t bestDistance = std::max(kFewestSuggestedEdits, name.size() / kEditsPerLength) + 1;
  for (const std::string& candidate : candidates) {
    const std::size_t distance = editDistance(name, candidate);
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace qov::qovhost
