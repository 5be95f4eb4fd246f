#define PCRE2_CODE_UNIT_WIDTH 8
#include "text/regex_matcher.h"

#include <pcre2.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <bit>
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
constexpr std::size_t kLargestKeptBuffer = 32 * 1024 * 1024;

// Milliseconds on a monotonic clock. The coarse clock (a few ms of resolution) is
// plenty for the time budget and costs a fraction of the precise one, which
// matters when it is read once per window.
std::int64_t MonotonicMs() {
#ifdef CLOCK_MONOTONIC_COARSE
  timespec now{};
  if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0) {
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
  }
#endif
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// GBK double-byte characters as UTF-8, from the program's own GBK tables so that
// matching agrees with every other conversion. Each entry holds up to three
// UTF-8 bytes in its low bytes and their count in the top byte; 0 marks a second
// byte that cannot follow the lead byte. A pair that GBK leaves unassigned reads
// as U+FFFD.
class GbkTable {
 public:
  GbkTable() {
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        const char32_t c = GbkCharacter(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
        entries_[(lead - 0x80) * 256 + trail] = Encode(c >= 0x80 && c < 0x10000 ? c : kReplacementChar);
      }
    }
  }

  // The entry for the character starting with `lead` (0x80 or more) and `trail`.
  [[nodiscard]] std::uint32_t Entry(unsigned char lead, unsigned char trail) const {
    return entries_[(lead - 0x80u) * 256 + trail];
  }

  static constexpr std::uint32_t Encode(char32_t c) {
    char bytes[4] = {};
    std::uint32_t length = 0;
    if (c < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (c >> 6));
      bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
      length = 2;
    } else {
      bytes[0] = static_cast<char>(0xE0 | (c >> 12));
      bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
      length = 3;
    }
    std::uint32_t entry = 0;
    for (int k = 2; k >= 0; --k) entry = (entry << 8) | static_cast<unsigned char>(bytes[k]);
    return entry | (length << 24);
  }

 private:
  std::array<std::uint32_t, 128 * 256> entries_{};
};

const GbkTable& Table() {
  static const GbkTable table;
  return table;
}

// One non-ASCII GBK character at `p`: its UTF-8 entry and its length in GBK. A
// byte that starts no character reads as U+FFFD on its own.
inline std::pair<std::uint32_t, std::size_t> DecodeGbk(const GbkTable& table, const unsigned char* p,
                                                       const unsigned char* end) {
  constexpr std::uint32_t kReplacement = GbkTable::Encode(kReplacementChar);
  if (p + 1 < end) {
    if (const std::uint32_t entry = table.Entry(p[0], p[1])) return {entry, 2};
  }
  return {kReplacement, 1};
}

// A stretch of non-ASCII characters: where it starts and ends in both encodings.
// Outside these stretches the two texts are byte for byte the same, so a UTF-8
// offset maps back to GBK with a constant shift.
struct Run {
  std::size_t utf8Start, gbkStart, utf8End, gbkEnd;
};

// A buffer that can be kept from one conversion to the next, so that a matcher
// running page after page does not fault in fresh memory every time.
struct Utf8Buffer {
  std::unique_ptr<char[]> data;
  std::size_t capacity = 0;
  std::vector<Run> runs;

  char* Reserve(std::size_t size) {
    if (capacity < size) {
      data = std::make_unique_for_overwrite<char[]>(size);
      capacity = size;
    }
    return data.get();
  }
};

// GBK text converted to UTF-8 for PCRE2, with what it takes to map offsets back.
// Bytes that are not GBK become U+FFFD, so the UTF-8 is always valid. `data`
// lives in the buffer passed to ToUtf8.
struct Utf8Text {
  const char* data = nullptr;
  std::size_t size = 0;
  const std::vector<Run>* runs = nullptr;
};

Utf8Text ToUtf8(std::string_view gbk, Utf8Buffer& buffer) {
  Utf8Text out;
  // A GBK character of one or two bytes needs at most three UTF-8 bytes; one
  // spare byte because table entries are written four bytes at a time.
  char* const base = buffer.Reserve(gbk.size() * 3 + 4);
  out.data = base;
  buffer.runs.clear();
  out.runs = &buffer.runs;
  const GbkTable& table = Table();
  const auto* in = reinterpret_cast<const unsigned char*>(gbk.data());
  const auto* end = in + gbk.size();
  const auto* p = in;
  char* o = base;
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
    if (q - p >= 16) {
      std::memcpy(o, p, static_cast<std::size_t>(q - p));
      o += q - p;
      p = q;
    } else {
      while (p < q) *o++ = static_cast<char>(*p++);
    }
    if (p == end) break;
    Run run{static_cast<std::size_t>(o - base), static_cast<std::size_t>(p - in), 0, 0};
    while (p < end && *p >= 0x80) {
      const auto [entry, length] = DecodeGbk(table, p, end);
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(o, &entry, 4);  // the UTF-8 bytes come first, the count is overwritten later
      } else {
        for (int k = 0; k < 3; ++k) o[k] = static_cast<char>((entry >> (8 * k)) & 0xFF);
      }
      o += entry >> 24;
      p += length;
    }
    run.utf8End = static_cast<std::size_t>(o - base);
    run.gbkEnd = static_cast<std::size_t>(p - in);
    buffer.runs.push_back(run);
  }
  out.size = static_cast<std::size_t>(o - base);
  return out;
}

// The GBK offset of a UTF-8 offset that lies on a character boundary.
std::size_t GbkOffset(const Utf8Text& text, std::string_view gbk, std::size_t utf8Offset) {
  const std::vector<Run>& runs = *text.runs;
  auto it = std::upper_bound(runs.begin(), runs.end(), utf8Offset,
                             [](std::size_t offset, const Run& run) { return offset < run.utf8Start; });
  if (it == runs.begin()) return utf8Offset;
  const Run& run = *std::prev(it);
  if (utf8Offset >= run.utf8End) return run.gbkEnd + (utf8Offset - run.utf8End);
  const auto* p = reinterpret_cast<const unsigned char*>(gbk.data()) + run.gbkStart;
  const auto* end = reinterpret_cast<const unsigned char*>(gbk.data()) + gbk.size();
  const GbkTable& table = Table();
  std::size_t u = run.utf8Start;
  std::size_t g = run.gbkStart;
  while (u < utf8Offset) {
    const auto [entry, length] = DecodeGbk(table, p, end);
    u += entry >> 24;
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

struct RegexMatcher::Scratch {
  Utf8Buffer buffer;
  // The current result's subject, converted, when `valid`: sources run several
  // patterns over one page, and the conversion costs more than a match.
  Utf8Text text;
  bool valid = false;
};

RegexMatcher::RegexMatcher() = default;
RegexMatcher::~RegexMatcher() = default;
RegexMatcher::RegexMatcher(const RegexMatcher& other) : result_(other.result_) {}
RegexMatcher& RegexMatcher::operator=(const RegexMatcher& other) {
  result_ = other.result_;
  return *this;
}

bool RegexMatcher::Execute(std::string_view pattern, std::string_view subject, bool caseSensitive, bool multiline,
                           bool global, bool quoteEscapes) {
  static const Text kQuoteHolder = GbkFromUtf8("#引号");
  auto result = std::make_shared<Result>();
  result->pattern = quoteEscapes ? ReplaceAll(pattern, kQuoteHolder, "\"") : Text(pattern);
  result->global = global;
  // A page of megabytes: reuse the previous copy's memory when nothing else
  // holds that result, rather than fault in fresh pages on every run.
  const bool samePage = scratch_ && scratch_->valid && result_ && result_->subject == subject;
  if (scratch_ && !samePage) scratch_->valid = false;
  if (result_ && result_.use_count() == 1) result->subject = std::move(const_cast<Result&>(*result_).subject);
  if (!samePage || result->subject.size() != subject.size()) result->subject.assign(subject);
  result_ = result;  // a failed run leaves the pattern readable and no matches

  Utf8Buffer patternBuffer;
  const Utf8Text utf8Pattern = ToUtf8(result->pattern, patternBuffer);
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
  pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8Pattern.data), utf8Pattern.size,
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

  if (!scratch_) scratch_ = std::make_unique<Scratch>();
  if (!scratch_->valid) {
    scratch_->text = ToUtf8(subject, scratch_->buffer);
    scratch_->valid = true;
  }
  const Utf8Text& text = scratch_->text;
  const auto* utf8 = reinterpret_cast<PCRE2_SPTR>(text.data);
  const std::size_t length = text.size;
  BoundedContext bounded;
  MatchData matchData(pcre2_match_data_create_from_pattern(compiled, nullptr));
  if (!bounded.context || !matchData) return false;
  pcre2_match_context* context = bounded.context.get();
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());
  const std::size_t pairs = static_cast<std::size_t>(result->groupCount) + 1;

  std::vector<std::size_t> utf8Offsets;
  const std::int64_t deadline = MonotonicMs() + kTimeBudget.count();
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
      if (MonotonicMs() > deadline) break;
      continue;
    }
    if (rc < 0) break;  // a work bound was hit, or an internal error: no more matches
    for (std::size_t i = 0; i < 2 * pairs; ++i) utf8Offsets.push_back(ovector[i]);
    ++result->matchCount;
    if (!global) break;
    start = ovector[1];
    // After an empty match, first look for a non-empty one at the same place.
    flags = ovector[0] == ovector[1] ? (PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED) : 0;
    if (MonotonicMs() > deadline) break;
  }

  result->offsets.reserve(utf8Offsets.size());
  for (const std::size_t offset : utf8Offsets) {
    result->offsets.push_back(offset == PCRE2_UNSET ? Result::kUnset : GbkOffset(text, subject, offset));
  }
  // Keep the buffer for pages of ordinary size only.
  if (scratch_->buffer.capacity > kLargestKeptBuffer) scratch_.reset();
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
  Utf8Buffer subjectBuffer;
  Utf8Buffer replacementBuffer;
  const Utf8Text subject = ToUtf8(result_->subject, subjectBuffer);
  const Utf8Text with = ToUtf8(replacement, replacementBuffer);
  BoundedContext bounded;
  if (!bounded.context) return {};
  std::uint32_t options = PCRE2_SUBSTITUTE_OVERFLOW_LENGTH | PCRE2_NO_UTF_CHECK;
  if (result_->global) options |= PCRE2_SUBSTITUTE_GLOBAL;
  std::string out(subject.size + with.size + 64, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    PCRE2_SIZE outLength = out.size();
    const int rc = pcre2_substitute(result_->code.get(), reinterpret_cast<PCRE2_SPTR>(subject.data),
                                    subject.size, 0, options, nullptr, bounded.context.get(),
                                    reinterpret_cast<PCRE2_SPTR>(with.data), with.size,
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
