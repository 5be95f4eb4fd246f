#pragma once
// The nine poster sources and how the window and the command line find them.

#include <span>
#include <string>
#include <string_view>

#include "sources/poster_list.h"

namespace raziriz {

struct SourceOptions {
  // When non-empty, replaces the scheme and host of every page address
  // ("http://127.0.0.1:8080"); used by the command line and the tests only.
  std::string baseUrl;
};

// Each source fetches its site's page(s), cuts out the carousel slides and
// writes one row per slide into `list` (number, platform tag, title, image
// address). Failures add no rows and show nothing: an unreachable page or one
// without the slides leaves a clearing source's list empty and an appending
// source's list as it was. A slide without a title gets an empty title. A
// second run on a list whose run is still going (a nested press, another
// thread) returns at once without touching the list.

// Tencent Video: appends, numbered from 1 on each run; title k pairs with the
// k + 1st image. Meant for a worker thread.
void LoadTencentPosters(PosterList& list, const SourceOptions& options = {});
// Youku: clears, then numbers rows by list position (from "0"). Worker thread.
void LoadYoukuPosters(PosterList& list, const SourceOptions& options = {});
// iQiyi: clears, rows numbered from 1. Worker thread.
void LoadIqiyiPosters(PosterList& list, const SourceOptions& options = {});
// Mango TV: clears; image addresses have their script escapes decoded.
void LoadMangoPosters(PosterList& list, const SourceOptions& options = {});
// LeTV: appends, numbering on from the rows already there.
void LoadLetvPosters(PosterList& list, const SourceOptions& options = {});
// Sohu: clears once, then reads three channel pages numbered without a break.
void LoadSohuPosters(PosterList& list, const SourceOptions& options = {});
// PPTV: clears, rows numbered from 1, tagged "pptv".
void LoadPptvPosters(PosterList& list, const SourceOptions& options = {});
// 360: clears once, reads two channel pages 600 ms apart (events keep being
// processed meanwhile), each page numbered from 1.
void Load360Posters(PosterList& list, const SourceOptions& options = {});
// 2345: clears; the page is GBK and read without conversion.
void Load2345Posters(PosterList& list, const SourceOptions& options = {});

enum class SourceThread { Window, Worker };

// One tab page of the window: its site, its controls and its routine.
struct SourceInfo {
  std::string_view cliName;     // "qq", "youku", "iqiyi", ...
  std::string_view tabCaption;  // UTF-8, "腾讯视频"
  std::string_view listName;    // UTF-8 objectName, "超级列表框_腾讯幻灯"
  std::string_view buttonName;  // UTF-8 objectName, "按钮_腾讯幻灯"
  void (*load)(PosterList&, const SourceOptions&);
  SourceThread thread;
};

// The nine sources in tab order.
[[nodiscard]] std::span<const SourceInfo> AllSources();

}  // namespace raziriz
