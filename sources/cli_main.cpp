// raziriz-posters-cli: runs one poster source headless and prints its rows.
//
//   raziriz-posters-cli SITE [--json] [--base-url URL]
//
// Rows go to standard output in UTF-8, one per line as
// number TAB platform TAB title TAB address, or as a JSON array with --json.

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/curl_easy.h"
#include "sources/home_feed.h"
#include "sources/source_kit.h"
#include "sources/sources.h"
#include "text/charset.h"

namespace raziriz {
namespace {

constexpr std::string_view kHomeSite = "home";

// Collects the rows a source writes; cells outside the four columns are ignored.
class CollectingList final : public PosterList {
 public:
  void Clear() override { rows_.clear(); }
  int AppendRow() override {
    rows_.emplace_back();
    return static_cast<int>(rows_.size()) - 1;
  }
  void SetCell(int row, int column, std::string_view text) override {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return;
    PosterRow& target = rows_[static_cast<std::size_t>(row)];
    switch (column) {
      case kNumberColumn: target.number = Text(text); break;
      case kPlatformColumn: target.platform = Text(text); break;
      case kTitleColumn: target.title = Text(text); break;
      case kImageColumn: target.imageUrl = Text(text); break;
      default: break;
    }
  }
  [[nodiscard]] const std::vector<PosterRow>& rows() const { return rows_; }

 private:
  std::vector<PosterRow> rows_;
};

// The main poster list has three columns (number, title, address); this maps
// them onto the four of a site row, leaving the platform empty.
class HomeListAdapter final : public PosterList {
 public:
  explicit HomeListAdapter(PosterList& rows) : rows_(rows) {}
  void Clear() override { rows_.Clear(); }
  int AppendRow() override { return rows_.AppendRow(); }
  void SetCell(int row, int column, std::string_view text) override {
    static constexpr int kSiteColumn[] = {kNumberColumn, kTitleColumn, kImageColumn};
    if (column >= 0 && column < 3) rows_.SetCell(row, kSiteColumn[column], text);
  }

 private:
  PosterList& rows_;
};

void LoadHomeRows(PosterList& list, const SourceOptions& options) {
  // The feed address with its scheme and host replaced like every page address.
  std::string_view feed = kHomeFeedAddress;
  std::string_view pathAndQuery;
  if (const auto scheme = feed.find("://"); scheme != std::string_view::npos) {
    if (const auto path = feed.find('/', scheme + 3); path != std::string_view::npos) {
      pathAndQuery = feed.substr(path);
      feed = feed.substr(0, path);
    }
  }
  HomeListAdapter adapter(list);
  adapter.Clear();
  LoadHomeFeedRows(adapter, FetchHomeFeed(PageAddress(feed, pathAndQuery, options)));
}

// A field made safe for one line: a tab, a CR LF pair, a lone CR or a lone LF
// each becomes one space.
std::string OneLine(std::string_view utf8) {
  std::string line;
  line.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
    line += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
  }
  return line;
}

// The length of the valid UTF-8 sequence at the start of `s`, or 0.
std::size_t Utf8SequenceLength(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no UTF-16 surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

// A JSON string literal of `utf8`; bytes that are not valid UTF-8 become U+FFFD
// so the output always parses.
std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  while (!utf8.empty()) {
    const unsigned char c = static_cast<unsigned char>(utf8[0]);
    const std::size_t length = Utf8SequenceLength(utf8);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      utf8.remove_prefix(1);
      continue;
    }
    if (length > 1) {
      out.append(utf8.substr(0, length));
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
    utf8.remove_prefix(length);
  }
  out += '"';
  return out;
}

void PrintLines(const std::vector<PosterRow>& rows) {
  std::string out;
  for (const PosterRow& row : rows) {
    out += OneLine(Utf8FromGbk(row.number));
    out += '\t';
    out += OneLine(Utf8FromGbk(row.platform));
    out += '\t';
    out += OneLine(Utf8FromGbk(row.title));
    out += '\t';
    out += OneLine(Utf8FromGbk(row.imageUrl));
    out += '\n';
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
}

void PrintJson(const std::vector<PosterRow>& rows) {
  std::string out = "[";
  bool first = true;
  for (const PosterRow& row : rows) {
    out += first ? "\n  " : ",\n  ";
    first = false;
    out += "{\"number\": " + JsonString(Utf8FromGbk(row.number));
    out += ", \"platform\": " + JsonString(Utf8FromGbk(row.platform));
    out += ", \"title\": " + JsonString(Utf8FromGbk(row.title));
    out += ", \"imageUrl\": " + JsonString(Utf8FromGbk(row.imageUrl));
    out += "}";
  }
  out += first ? "]\n" : "\n]\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
}

void PrintUsage(std::FILE* stream) {
  std::string sites;
  for (const SourceInfo& source : AllSources()) {
    sites += ' ';
    sites += source.cliName;
  }
  std::fprintf(stream,
               "Usage: raziriz-posters-cli SITE [--json] [--base-url URL]\n"
               "       raziriz-posters-cli --help\n"
               "\n"
               "Fetches one site's carousel posters and prints one row per line:\n"
               "number, platform, title and image address, separated by tabs (UTF-8).\n"
               "\n"
               "SITE is one of:%s %s (the maker's poster page)\n"
               "\n"
               "  --json          print a JSON array of {number, platform, title, imageUrl}\n"
               "  --base-url URL  replace the scheme and host of every page address\n"
               "                  (for a local test server or a mirror)\n"
               "  --help          show this text\n",
               sites.c_str(), std::string(kHomeSite).c_str());
}

struct Arguments {
  std::string site;
  bool json = false;
  bool help = false;
  SourceOptions options;
};

// The parsed arguments, or an error message.
std::optional<Arguments> ParseArguments(int argc, char** argv, std::string& error) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      arguments.help = true;
    } else if (argument == "--json") {
      arguments.json = true;
    } else if (argument == "--base-url") {
      if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
        error = "--base-url needs a URL";
        return std::nullopt;
      }
      arguments.options.baseUrl = argv[++i];
    } else if (argument.starts_with("--base-url=")) {
      arguments.options.baseUrl = std::string(argument.substr(std::strlen("--base-url=")));
      if (arguments.options.baseUrl.empty()) {
        error = "--base-url needs a URL";
        return std::nullopt;
      }
    } else if (argument.starts_with("-")) {
      error = "unknown option " + std::string(argument);
      return std::nullopt;
    } else if (arguments.site.empty()) {
      arguments.site = std::string(argument);
    } else {
      error = "only one SITE may be given";
      return std::nullopt;
    }
  }
  if (arguments.help) return arguments;
  if (arguments.site.empty()) {
    error = "no SITE given";
    return std::nullopt;
  }
  const std::string_view base = arguments.options.baseUrl;
  if (!base.empty() && !base.starts_with("http://") && !base.starts_with("https://")) {
    error = "--base-url must start with http:// or https://";
    return std::nullopt;
  }
  return arguments;
}

int Run(int argc, char** argv) {
  std::string error;
  const std::optional<Arguments> arguments = ParseArguments(argc, argv, error);
  if (!arguments) {
    std::fprintf(stderr, "raziriz-posters-cli: %s\n", error.c_str());
    PrintUsage(stderr);
    return 2;
  }
  if (arguments->help) {
    PrintUsage(stdout);
    return 0;
  }

  void (*load)(PosterList&, const SourceOptions&) = nullptr;
  if (arguments->site == kHomeSite) {
    load = &LoadHomeRows;
  } else {
    for (const SourceInfo& source : AllSources()) {
      if (source.cliName == arguments->site) load = source.load;
    }
  }
  if (load == nullptr) {
    std::fprintf(stderr, "raziriz-posters-cli: unknown SITE \"%s\"\n", arguments->site.c_str());
    PrintUsage(stderr);
    return 2;
  }

  CollectingList list;
  load(list, arguments->options);
  if (arguments->json) {
    PrintJson(list.rows());
  } else {
    PrintLines(list.rows());
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace
}  // namespace raziriz

int main(int argc, char** argv) {
  const raziriz::CurlGlobal curl;
  return raziriz::Run(argc, argv);
}
