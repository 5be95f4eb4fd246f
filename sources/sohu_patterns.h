#pragma once
// The Sohu channel pages' slide patterns. Their line ends (CR LF, and a lone CR
// at the very end) and leading spaces are part of the pattern: the pages write
// their slides with exactly these, and nothing else matches.

#include <string_view>

namespace raziriz {

// Films: group 1 the title, group 2 the image address. 439 bytes.
inline constexpr std::string_view kSohuFilmPattern =
    "        <h2 class=\"item-info-title\">(.*?)</h2>\r\n"
    "        <p class=\"item-info-brief\">.*?</p>\r\n"
    "        <a href=\".*?\" target=\"_blank\" class=\"item-info-see\" pb-click "
    "data-pb-txid=\"focus_bigvideowatch\" data-pb-other=\".*?\"></a>\r\n"
    "        <span class=\"item-info-voice item-info-voice-no hidden\" pb-click "
    "data-pb-txid=\"focus_bigvideomute\"></span>\r\n"
    "    </div>\r\n"
    "    <div class=\"item-video\" style=\"background-color:.*?;background-image:url\\((.*?)\\);\">\r";

// Series and animation: group 1 the image address, group 2 the title. 178 bytes.
inline constexpr std::string_view kSohuSeriesPattern =
    "data-back=\".*?\" data-bgimage=\"(.*?)\">\r\n"
    "                    <a href=\".*?\" target=\"_blank\" data-pb-other=\".*?\" class=\"item-link\">\r\n"
    "                <em class=\"item-name\">(.*?)</em>\r";

}  // namespace raziriz
