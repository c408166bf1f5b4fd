// "Did you mean ...?" for a mistyped command or option.
#pragma once

#include <string>
#include <vector>

namespace drawlet::run {

// The candidate closest to `word` by edit distance, when it is close enough to be a typo
// (at most a third of the word's letters differ); empty otherwise.
std::string closestMatch(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace drawlet::run
