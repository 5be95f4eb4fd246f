#define PCRE2_CODE_UNIT_WIDTH 8
#include "text/regex_matcher.h"

#include <iconv.h>
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "text/charset.h"

namespace raziriz {
namespace {

// Work bounds for one Execute. A pattern that backtracks catastrophically on a
// hostile page must end quickly rather than hang the window or a worker; hitting
// any bound ends the search and keeps the matches found before it.
//
// The match and depth limits bound the work from one starting point: PCRE2
// counts them afresh at every starting point. A tenth of PCRE2's default match
// limit still lets a lazy ".*?" run a million characters to its terminator.
constexpr std::uint32_t kMatchLimit = 1'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::size_t kJitStackMin = 32 * 1024;
constexpr std::size_t kJitStackMax = 1024 * 1024;
// Many starting points that each scan a long line add up without touching those
// limits, so the search runs in windows of starting points and stops once the
// run has taken longer than the time budget. A window is small enough that even
// every starting point in it using the whole match limit stays under a
// second (the interpreter is several times slower than JIT code).
constexpr std::size_t kJitStartWindow = 256;
constexpr std::size_t kInterpreterStartWindow = 32;
constexpr std::chrono::milliseconds kTimeBudget{200};

constexpr char32_t kReplacementChar = 0xFFFD;

// GBK double-byte characters to Unicode, read once from iconv so that matching
// agrees with the rest of the program's conversions. Lead bytes 81..FE, trail
// bytes 40..FE except 7F; 0 marks a pair that is not a GBK character.
class GbkTable {
 public:
  GbkTable() {
    iconv_t cd = iconv_open("UTF-32LE", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char32_t out[2] = {0, 0};
        char* inPtr = in;
        std::size_t inLeft = 2;
        char* outPtr = reinterpret_cast<char*>(out);
        std::size_t outLeft = sizeof(out);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (rc != static_cast<std::size_t>(-1) && inLeft == 0 && outLeft == sizeof(out) - 4 && out[0] < 0x10000) {
          table_[Index(lead, trail)] = static_cast<char16_t>(out[0]);
        }
      }
    }
    iconv_close(cd);
  }

  static bool IsTrail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }
  static bool IsLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

  [[nodiscard]] char32_t Lookup(unsigned char lead, unsigned char trail) const {
    const char16_t c = table_[Index(lead, trail)];
    return c == 0 ? kReplacementChar : c;
  }

 private:
  static std::size_t Index(int lead, int trail) { return static_cast<std::size_t>(lead - 0x81) * 191 + (trail - 0x40); }
  std::array<char16_t, 126 * 191> table_{};
};

const GbkTable& Table() {
  static const GbkTable table;
  return table;
}

std::size_t Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

char* PutUtf8(char32_t c, char* out) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// One GBK character at `p` (not ASCII): its code point and its byte length.
std::pair<char32_t, std::size_t> DecodeGbk(const unsigned char* p, const unsigned char* end) {
  if (GbkTable::IsLead(p[0]) && p + 1 < end && GbkTable::IsTrail(p[1])) return {Table().Lookup(p[0], p[1]), 2};
  return {kReplacementChar, 1};
}

// A stretch of non-ASCII characters: where it starts and ends in both encodings.
// Outside these stretches the two texts are byte for byte the same, so a UTF-8
// offset maps back to GBK with a constant shift.
struct Run {
  std::size_t utf8Start, gbkStart, utf8End, gbkEnd;
};

// GBK text converted to UTF-8 for PCRE2, with what it takes to map offsets back.
// Bytes that are not GBK become U+FFFD, so the UTF-8 is always valid.
struct Utf8Text {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
  std::vector<Run> runs;

  [[nodiscard]] std::string_view View() const { return {data.get(), size}; }
};

Utf8Text ToUtf8(std::string_view gbk) {
  Utf8Text out;
  // A GBK character of one or two bytes needs at most three UTF-8 bytes.
  out.data = std::make_unique_for_overwrite<char[]>(gbk.size() * 3 + 1);
  const auto* in = reinterpret_cast<const unsigned char*>(gbk.data());
  const auto* end = in + gbk.size();
  const auto* p = in;
  char* o = out.data.get();
  while (p < end) {
    // Copy the ASCII stretch; scan eight bytes at a time for a high bit.
    const auto* q = p;
    while (end - q >= 8) {
      std::uint64_t word;
      std::memcpy(&word, q, 8);
      if (word & 0x8080808080808080ULL) break;
      q += 8;
    }
    while (q < end && *q < 0x80) ++q;
    std::memcpy(o, p, static_cast<std::size_t>(q - p));
    o += q - p;
    p = q;
    if (p == end) break;
    Run run{static_cast<std::size_t>(o - out.data.get()), static_cast<std::size_t>(p - in), 0, 0};
    while (p < end && *p >= 0x80) {
      const auto [c, length] = DecodeGbk(p, end);
      o = PutUtf8(c, o);
      p += length;
    }
    run.utf8End = static_cast<std::size_t>(o - out.data.get());
    run.gbkEnd = static_cast<std::size_t>(p - in);
    out.runs.push_back(run);
  }
  out.size = static_cast<std::size_t>(o - out.data.get());
  return out;
}

// The GBK offset of a UTF-8 offset that lies on a character boundary.
std::size_t GbkOffset(const Utf8Text& text, std::string_view gbk, std::size_t utf8Offset) {
  auto it = std::upper_bound(text.runs.begin(), text.runs.end(), utf8Offset,
                             [](std::size_t offset, const Run& run) { return offset < run.utf8Start; });
  if (it == text.runs.begin()) return utf8Offset;
  const Run& run = *std::prev(it);
  if (utf8Offset >= run.utf8End) return run.gbkEnd + (utf8Offset - run.utf8End);
  const auto* p = reinterpret_cast<const unsigned char*>(gbk.data()) + run.gbkStart;
  const auto* end = reinterpret_cast<const unsigned char*>(gbk.data()) + gbk.size();
  std::size_t u = run.utf8Start;
  std::size_t g = run.gbkStart;
  while (u < utf8Offset) {
    const auto [c, length] = DecodeGbk(p, end);
    u += Utf8Length(c);
    g += length;
    p += length;
  }
  return g;
}

struct CodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct MatchContextDeleter {
  void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct CompileContextDeleter {
  void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
struct JitStackDeleter {
  void operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }
};
using MatchData = std::unique_ptr<pcre2_match_data, MatchDataDeleter>;
using MatchContext = std::unique_ptr<pcre2_match_context, MatchContextDeleter>;
using CompileContext = std::unique_ptr<pcre2_compile_context, CompileContextDeleter>;
using JitStack = std::unique_ptr<pcre2_jit_stack, JitStackDeleter>;

// A match context with the work bounds, owning its JIT stack.
struct BoundedContext {
  MatchContext context;
  JitStack jitStack;

  BoundedContext() : context(pcre2_match_context_create(nullptr)) {
    if (!context) return;
    pcre2_set_match_limit(context.get(), kMatchLimit);
    pcre2_set_depth_limit(context.get(), kDepthLimit);
    jitStack.reset(pcre2_jit_stack_create(kJitStackMin, kJitStackMax, nullptr));
    if (jitStack) pcre2_jit_stack_assign(context.get(), nullptr, jitStack.get());
  }
};

}  // namespace

struct RegexMatcher::Result {
  Text pattern;  // as compiled, GBK
  std::shared_ptr<pcre2_code> code;
  bool global = true;
  Text subject;  // GBK
  int groupCount = 0;
  // Per match: start and end of the match and of each group, as GBK offsets;
  // kUnset for a group that took no part.
  std::vector<std::size_t> offsets;
  int matchCount = 0;

  static constexpr std::size_t kUnset = static_cast<std::size_t>(-1);

  [[nodiscard]] Text Piece(int matchIndex, int groupIndex) const {
    if (matchIndex < 1 || matchIndex > matchCount || groupIndex < 0 || groupIndex > groupCount) return {};
    const std::size_t stride = 2 * static_cast<std::size_t>(groupCount + 1);
    const std::size_t at = static_cast<std::size_t>(matchIndex - 1) * stride + 2 * static_cast<std::size_t>(groupIndex);
    const std::size_t start = offsets[at];
    const std::size_t end = offsets[at + 1];
    if (start == kUnset || end == kUnset || end < start) return {};
    return subject.substr(start, end - start);
  }
};

RegexMatcher::RegexMatcher() = default;
RegexMatcher::~RegexMatcher() = default;
RegexMatcher::RegexMatcher(const RegexMatcher& other) = default;
RegexMatcher& RegexMatcher::operator=(const RegexMatcher& other) = default;

bool RegexMatcher::Execute(std::string_view pattern, std::string_view subject, bool caseSensitive, bool multiline,
                           bool global, bool quoteEscapes) {
  auto result = std::make_shared<Result>();
  result->pattern = quoteEscapes ? ReplaceAll(pattern, GbkFromUtf8("#引号"), "\"") : Text(pattern);
  result->global = global;
  result->subject = Text(subject);
  result_ = result;  // a failed run leaves the pattern readable and no matches

  const Utf8Text utf8Pattern = ToUtf8(result->pattern);
  CompileContext compileContext(pcre2_compile_context_create(nullptr));
  if (!compileContext) return false;
  // "." matches everything but a line feed; a carriage return is an ordinary
  // character, as pages with CR LF line ends need.
  pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_LF);
  // UTF without UCP: whole characters, but \w, \d and \s stay ASCII. ALT_BSUX
  // gives \uHHHH and \xHH their script-language meaning. DOLLAR_ENDONLY: without
  // multi-line mode "$" is the end of the subject only.
  std::uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY | PCRE2_USE_OFFSET_LIMIT;
  if (!caseSensitive) options |= PCRE2_CASELESS;
  if (multiline) options |= PCRE2_MULTILINE;
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8Pattern.data.get()), utf8Pattern.size,
                                       options, &errorCode, &errorOffset, compileContext.get());
  if (compiled == nullptr) return false;
  result->code.reset(compiled, CodeDeleter{});
  // Without JIT support pcre2_match falls back to the interpreter by itself.
  const bool jit = pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE) == 0;
  const std::size_t window = jit ? kJitStartWindow : kInterpreterStartWindow;
  std::uint32_t firstCodeType = 0;
  pcre2_pattern_info(compiled, PCRE2_INFO_FIRSTCODETYPE, &firstCodeType);
  const bool startsLines = firstCodeType == 2;
  pcre2_pattern_info(compiled, PCRE2_INFO_CAPTURECOUNT, &result->groupCount);

  const Utf8Text text = ToUtf8(subject);
  const auto* utf8 = reinterpret_cast<PCRE2_SPTR>(text.data.get());
  const std::size_t length = text.size;
  BoundedContext bounded;
  MatchData matchData(pcre2_match_data_create_from_pattern(compiled, nullptr));
  if (!bounded.context || !matchData) return false;
  pcre2_match_context* context = bounded.context.get();
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());
  const std::size_t pairs = static_cast<std::size_t>(result->groupCount) + 1;

  std::vector<std::size_t> utf8Offsets;
  const auto started = std::chrono::steady_clock::now();
  std::size_t start = 0;
  std::uint32_t flags = 0;
  // The first window also covers the retry after an empty match, which is
  // anchored and needs no limit of its own.
  while (start <= length) {
    pcre2_set_offset_limit(context, start + window);
    const int rc = pcre2_match(compiled, utf8, length, start, flags | PCRE2_NO_UTF_CHECK, matchData.get(), context);
    if (rc == PCRE2_ERROR_NOMATCH) {
      if (flags != 0) {
        // No non-empty match where the empty one was: move on one character.
        flags = 0;
        ++start;
        while (start < length && (utf8[start] & 0xC0) == 0x80) ++start;
        continue;
      }
      if (start + window >= length) break;
      start += window + 1;
      if (startsLines) {
        // A pattern that can only start a line (it begins with ^ or .*) is tried
        // by PCRE2 at the start offset itself even mid-line; start the next
        // window at a line start instead, or each window would rescan its line.
        const void* lf = std::memchr(utf8 + start - 1, '\n', length - (start - 1));
        if (lf == nullptr) break;
        start = static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - utf8) + 1;
      }
      while (start < length && (utf8[start] & 0xC0) == 0x80) ++start;
      if (std::chrono::steady_clock::now() - started > kTimeBudget) break;
      continue;
    }
    if (rc < 0) break;  // a work bound was hit, or an internal error: no more matches
    for (std::size_t i = 0; i < 2 * pairs; ++i) utf8Offsets.push_back(ovector[i]);
    ++result->matchCount;
    if (!global) break;
    start = ovector[1];
    // After an empty match, first look for a non-empty one at the same place.
    flags = ovector[0] == ovector[1] ? (PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED) : 0;
    if (std::chrono::steady_clock::now() - started > kTimeBudget) break;
  }

  result->offsets.reserve(utf8Offsets.size());
  for (const std::size_t offset : utf8Offsets) {
    result->offsets.push_back(offset == PCRE2_UNSET ? Result::kUnset : GbkOffset(text, subject, offset));
  }
  return true;
}

int RegexMatcher::MatchCount() const { return result_ ? result_->matchCount : 0; }

Text RegexMatcher::MatchText(int matchIndex) const { return result_ ? result_->Piece(matchIndex, 0) : Text{}; }

Text RegexMatcher::SubMatchText(int matchIndex, int groupIndex) const {
  if (!result_ || groupIndex < 1) return {};
  return result_->Piece(matchIndex, groupIndex);
}

int RegexMatcher::SubMatchCount() const { return result_ && result_->matchCount > 0 ? result_->groupCount : 0; }

Text RegexMatcher::Pattern() const { return result_ ? result_->pattern : Text{}; }

Text RegexMatcher::Replace(std::string_view replacement) const {
  if (!result_ || !result_->code) return {};
  const Utf8Text subject = ToUtf8(result_->subject);
  const Utf8Text with = ToUtf8(replacement);
  BoundedContext bounded;
  if (!bounded.context) return {};
  std::uint32_t options = PCRE2_SUBSTITUTE_OVERFLOW_LENGTH | PCRE2_NO_UTF_CHECK;
  if (result_->global) options |= PCRE2_SUBSTITUTE_GLOBAL;
  std::string out(subject.size + with.size + 64, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    PCRE2_SIZE outLength = out.size();
    const int rc = pcre2_substitute(result_->code.get(), reinterpret_cast<PCRE2_SPTR>(subject.data.get()),
                                    subject.size, 0, options, nullptr, bounded.context.get(),
                                    reinterpret_cast<PCRE2_SPTR>(with.data.get()), with.size,
                                    reinterpret_cast<PCRE2_UCHAR*>(out.data()), &outLength);
    if (rc == PCRE2_ERROR_NOMEMORY) {
      out.resize(outLength);
      continue;
    }
    if (rc < 0) return result_->subject;
    out.resize(outLength);
    return GbkFromUtf8(out);
  }
  return result_->subject;
}

RegexMatcher& SharedMatcher() {
  static RegexMatcher matcher;
  return matcher;
}

}  // namespace raziriz
