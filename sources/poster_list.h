#pragma once
// What a poster source writes into: one site list of the window, or a fake.

#include <string_view>

#include "text/text.h"

namespace raziriz {

// One row of a poster list; all fields GBK text.
struct PosterRow {
  Text number;
  Text platform;
  Text title;
  Text imageUrl;
};

// A list of poster rows. The window's implementation may be called from any
// thread; its effects land on the window's thread in call order.
class PosterList {
 public:
  virtual ~PosterList() = default;
  virtual void Clear() = 0;
  // Appends an empty row and returns its 0-based position.
  virtual int AppendRow() = 0;
  virtual void SetCell(int row, int column, std::string_view text) = 0;
};

}  // namespace raziriz
