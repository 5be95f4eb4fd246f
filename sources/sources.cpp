#include "sources/sources.h"

#include <array>

namespace raziriz {

std::span<const SourceInfo> AllSources() {
  static constexpr std::array<SourceInfo, 9> kSources{{
      {"qq", "腾讯视频", "超级列表框_腾讯幻灯", "按钮_腾讯幻灯", &LoadTencentPosters, SourceThread::Worker},
      {"youku", "优酷视频", "超级列表框_优酷幻灯", "按钮_优酷幻灯", &LoadYoukuPosters, SourceThread::Worker},
      {"iqiyi", "爱奇艺", "超级列表框_爱奇艺幻灯", "按钮_爱奇艺幻灯", &LoadIqiyiPosters, SourceThread::Worker},
      {"mgtv", "芒果视频", "超级列表框_芒果幻灯", "按钮_芒果幻灯", &LoadMangoPosters, SourceThread::Window},
      {"letv", "乐视视频", "超级列表框_乐视幻灯", "按钮_乐视幻灯", &LoadLetvPosters, SourceThread::Window},
      {"sohu", "搜狐视频", "超级列表框_搜狐幻灯", "按钮_搜狐幻灯", &LoadSohuPosters, SourceThread::Window},
      {"pptv", "PPTV视频", "超级列表框_PPTV幻灯", "按钮_PPTV幻灯", &LoadPptvPosters, SourceThread::Window},
      {"360", "360电影", "超级列表框_360幻灯", "按钮_360幻灯", &Load360Posters, SourceThread::Window},
      {"2345", "2345影视", "超级列表框_2345幻灯", "按钮_2345幻灯", &Load2345Posters, SourceThread::Window},
  }};
  return kSources;
}

}  // namespace raziriz
