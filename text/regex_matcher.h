#pragma once
// Regular expressions over GBK text, PCRE2 underneath.

#include <memory>
#include <string_view>

#include "text/text.h"

namespace raziriz {

// Runs one pattern over one subject and keeps the result of that last run, so
// that callers can read group g of match n. Pattern and subject are GBK; matching
// works on whole characters. Numbers are 1-based; anything out of range reads as
// empty text. Copying shares the compiled pattern and the matches.
class RegexMatcher {
 public:
  RegexMatcher();
  ~RegexMatcher();
  RegexMatcher(const RegexMatcher& other);
  RegexMatcher& operator=(const RegexMatcher& other);

  // Compiles `pattern` and collects its matches in `subject`. Defaults: case
  // ignored, ^ and $ at line breaks, every match. With `quoteEscapes` each "#引号"
  // in the pattern is a double quote. False (and no matches) for an invalid
  // pattern; true otherwise, also with no match. A run that exceeds the match
  // work limit keeps the matches found before it.
  bool Execute(std::string_view pattern, std::string_view subject, bool caseSensitive = false,
               bool multiline = true, bool global = true, bool quoteEscapes = false);

  [[nodiscard]] int MatchCount() const;
  [[nodiscard]] Text MatchText(int matchIndex) const;
  // Empty for a match or group out of range, or a group that took no part.
  [[nodiscard]] Text SubMatchText(int matchIndex, int groupIndex) const;
  // The number of capture groups of the first match; 0 without a match.
  [[nodiscard]] int SubMatchCount() const;
  // The pattern of the last Execute; empty before the first.
  [[nodiscard]] Text Pattern() const;
  // The stored subject with the matches replaced by `replacement` ($1 style
  // group references are honoured); empty before the first Execute.
  [[nodiscard]] Text Replace(std::string_view replacement) const;

 private:
  // Pattern, subject and matches of the last Execute, shared by copies.
  struct Result;
  std::shared_ptr<const Result> result_;
  // The page's UTF-8 form, kept for the next Execute; copies do not share it.
  struct Scratch;
  std::unique_ptr<Scratch> scratch_;
};

// The matcher shared by the window-thread sources: made on first use (the window
// program touches it at start, before the window) and destroyed at exit.
RegexMatcher& SharedMatcher();

}  // namespace raziriz
