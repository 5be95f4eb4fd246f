#pragma once
// Shared by the source tests: a list fake that records what a source does, and
// loopback servers that serve each site's fixture pages.

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sources/poster_list.h"
#include "text/charset.h"
#include "tests/support/loopback_server.h"

namespace raziriz::testing {

// A row as UTF-8: number, platform, title, image address.
using Row = std::array<std::string, 4>;

// Records every list operation in order; safe to use from several threads.
class RecordingList final : public PosterList {
 public:
  enum class Kind { Clear, Append, Set };
  struct Op {
    Kind kind;
    int row = -1;
    int column = -1;
    std::string text{};
  };

  void Clear() override {
    std::lock_guard lock(mutex_);
    ops_.push_back({Kind::Clear});
    rows_.clear();
  }
  int AppendRow() override {
    std::lock_guard lock(mutex_);
    rows_.emplace_back();
    const int row = static_cast<int>(rows_.size()) - 1;
    ops_.push_back({Kind::Append, row});
    return row;
  }
  void SetCell(int row, int column, std::string_view text) override {
    std::lock_guard lock(mutex_);
    ops_.push_back({Kind::Set, row, column, std::string(text)});
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size() || column < 0 || column > 3) {
      badWrites_++;
      return;
    }
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = std::string(text);
  }

  // The rows as they stand, converted to UTF-8.
  [[nodiscard]] std::vector<Row> Rows() const {
    std::lock_guard lock(mutex_);
    std::vector<Row> rows;
    for (const auto& gbk : rows_) {
      rows.push_back({Utf8FromGbk(gbk[0]), Utf8FromGbk(gbk[1]), Utf8FromGbk(gbk[2]), Utf8FromGbk(gbk[3])});
    }
    return rows;
  }
  [[nodiscard]] std::vector<Op> Ops() const {
    std::lock_guard lock(mutex_);
    return ops_;
  }
  // The columns written after each append, in the order written.
  [[nodiscard]] std::vector<std::vector<int>> ColumnOrders() const {
    std::lock_guard lock(mutex_);
    std::vector<std::vector<int>> orders;
    for (const Op& op : ops_) {
      if (op.kind == Kind::Append) orders.emplace_back();
      if (op.kind == Kind::Set && !orders.empty()) orders.back().push_back(op.column);
    }
    return orders;
  }
  [[nodiscard]] int ClearCount() const {
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const Op& op : ops_) count += op.kind == Kind::Clear ? 1 : 0;
    return count;
  }
  [[nodiscard]] int BadWrites() const {
    std::lock_guard lock(mutex_);
    return badWrites_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Op> ops_;
  std::vector<std::array<std::string, 4>> rows_;
  int badWrites_ = 0;
};

// A loopback server standing in for one site: `pages` maps a path (exact) to a
// fixture file, or to literal bytes when the value starts with "=". It records
// the request targets it saw. A path with a query must be asked for with exactly
// that query; anything else is a 404. Pages served here close their connection.
class FakeSite {
 public:
  using Pages = std::map<std::string, std::string>;
  // `contentType` other than text/* keeps the test server from compressing the
  // pages for clients that accept compressed bodies.
  explicit FakeSite(const Pages& pages, std::string contentType = "text/html") : contentType_(std::move(contentType)) {
    std::map<std::string, std::map<std::string, std::string>> byPath;
    for (const auto& [target, source] : pages) {
      const auto query = target.find('?');
      const std::string path = target.substr(0, query);
      byPath[path][target] = source[0] == '=' ? source.substr(1) : ReadFixture(source);
    }
    for (auto& [path, bodies] : byPath) {
      server_.Handle(EscapeForRegex(path), [this, bodies](const SeenRequest& request) {
        const auto found = bodies.find(request.target);
        return Answer(request, found == bodies.end() ? nullptr : &found->second);
      });
    }
    server_.Handle(".*", [this](const SeenRequest& request) { return Answer(request, nullptr); });
  }

  [[nodiscard]] std::string BaseUrl() const { return server_.BaseUrl(); }
  [[nodiscard]] std::vector<std::string> Seen() const {
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  // The page, or a 404 without one. Every answer closes its connection, so that
  // no idle kept-alive connection holds up the server's stop.
  Reply Answer(const SeenRequest& request, const std::string* page) {
    {
      std::lock_guard lock(mutex_);
      seen_.push_back(request.method + " " + request.target);
    }
    Reply reply;
    reply.contentType = contentType_;
    reply.headers = {{"Connection", "close"}};
    if (page == nullptr) {
      reply.status = 404;
      reply.body = "not here";
    } else {
      reply.body = *page;
    }
    return reply;
  }

  static std::string EscapeForRegex(const std::string& path) {
    std::string escaped;
    for (char c : path) {
      if (std::string_view(".^$|()[]{}*+?\\").find(c) != std::string_view::npos) escaped += '\\';
      escaped += c;
    }
    return escaped;
  }

  std::string contentType_;
  mutable std::mutex mutex_;
  std::vector<std::string> seen_;
  LoopbackServer server_;  // last: stopped first, while the members above still live
};

// The fixture pages of each site, by the command line's site name.
inline std::map<std::string, std::string> FixturePages(const std::string& site) {
  if (site == "360") {
    return {{"/dianying/index.html", "360/dianying.html"},
            {"/dongman/index.html?from=dianshi_channel", "360/dongman.html"}};
  }
  if (site == "sohu") {
    return {{"/movie/", "sohu/movie.html"}, {"/drama/", "sohu/drama.html"}, {"/comic/", "sohu/comic.html"}};
  }
  return {{"/", site + "/index.html"}};
}

// A base address where nothing listens. Not the port of a stopped server: tests
// run in parallel, and another test's server may be given that port meanwhile.
inline std::string DeadBaseUrl() { return "http://127.0.0.1:1"; }

}  // namespace raziriz::testing
