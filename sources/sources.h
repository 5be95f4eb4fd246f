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

void LoadTencentPosters(PosterList& list, const SourceOptions& options = {});
void LoadYoukuPosters(PosterList& list, const SourceOptions& options = {});
void LoadIqiyiPosters(PosterList& list, const SourceOptions& options = {});
void LoadMangoPosters(PosterList& list, const SourceOptions& options = {});
void LoadLetvPosters(PosterList& list, const SourceOptions& options = {});
void LoadSohuPosters(PosterList& list, const SourceOptions& options = {});
void LoadPptvPosters(PosterList& list, const SourceOptions& options = {});
void Load360Posters(PosterList& list, const SourceOptions& options = {});
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
