#include "sources/source_kit.h"

#include <mutex>
#include <set>
#include <string>

#include "net/web_request.h"
#include "text/charset.h"
#include "text/extract.h"
#include "text/unicode_escape.h"

namespace raziriz {

std::string PageAddress(std::string_view siteOrigin, std::string_view pathAndQuery, const SourceOptions& options) {
  std::string_view base = siteOrigin;
  if (!options.baseUrl.empty()) {
    base = options.baseUrl;
    while (!base.empty() && base.back() == '/') base.remove_suffix(1);
  }
  std::string address;
  address.reserve(base.size() + pathAndQuery.size());
  address.append(base);
  address.append(pathAndQuery);
  return address;
}

DirectHttpOptions DirectGetOptions() {
  DirectHttpOptions options;
  options.method = 0;
  return options;
}

Text CompleteAddress(AddressCompletion completion, std::string_view address) {
  switch (completion) {
    case AddressCompletion::HttpsColon:
      return "https:" + std::string(address);
    case AddressCompletion::HttpsSlashes:
      return "https://" + std::string(address);
    case AddressCompletion::DecodeEscapes:
      return DecodeUnicodeEscapes(address);
    case AddressCompletion::Unchanged:
      break;
  }
  return Text(address);
}

std::string_view ItemOrEmpty(const TextArray& items, std::size_t oneBasedIndex) {
  if (oneBasedIndex == 0 || oneBasedIndex > items.size()) return {};
  return items[oneBasedIndex - 1];
}

MarkerPage MarkerPage::FromUtf8(const MarkerPageSource& site) {
  return MarkerPage{
      .origin = std::string(site.origin),
      .pathAndQuery = std::string(site.pathAndQuery),
      .method = site.method,
      .convertCharset = site.convertCharset,
      .blockStart = GbkFromUtf8(site.blockStart),
      .blockEnd = GbkFromUtf8(site.blockEnd),
      .blockStartUtf8 = std::string(site.blockStart),
      .blockEndUtf8 = std::string(site.blockEnd),
      .imageStart = GbkFromUtf8(site.imageStart),
      .imageEnd = GbkFromUtf8(site.imageEnd),
      .titleStart = GbkFromUtf8(site.titleStart),
      .titleEnd = GbkFromUtf8(site.titleEnd),
      .maxTitleLength = site.maxTitleLength,
      .platform = GbkFromUtf8(site.platform),
      .completion = site.completion,
  };
}

namespace {

// The bytes strictly between the first `startMarker` and the next `endMarker`
// after it, by plain byte search; empty when either is missing.
std::string_view BytesBetween(std::string_view source, std::string_view startMarker, std::string_view endMarker) {
  const auto start = source.find(startMarker);
  if (start == std::string_view::npos) return {};
  const auto from = start + startMarker.size();
  const auto end = source.find(endMarker, from);
  if (end == std::string_view::npos) return {};
  return source.substr(from, end - from);
}

}  // namespace

int ReadMarkerPage(PosterList& list, const MarkerPage& page, const SourceOptions& options) {
  const Bytes body = WebRequest(PageAddress(page.origin, page.pathAndQuery, options), {.method = page.method});
  // Fetched bytes count as text up to their first zero byte.
  std::string_view bytes(body);
  bytes = bytes.substr(0, bytes.find('\0'));
  Text block;
  if (page.convertCharset) {
    // The block is cut from the UTF-8 page with the markers in UTF-8, and only
    // the block is converted. That is the same block as the one cut from the
    // whole page converted to GBK: conversion maps character by character, and a
    // UTF-8 marker can only match at a character boundary. It spares converting
    // a page of a megabyte to read a few kilobytes of it.
    block = TakeAsText(ConvertCharset(BytesBetween(bytes, page.blockStartUtf8, page.blockEndUtf8)));
  } else {
    block = TextBetween(bytes, page.blockStart, page.blockEnd);
  }

  TextArray images;
  TextBetweenAll(block, page.imageStart, page.imageEnd, images);
  TextArray titles;
  TextBetweenAll(block, page.titleStart, page.titleEnd, titles, {.maxLength = page.maxTitleLength});

  for (std::size_t i = 1; i <= images.size(); ++i) {
    const int row = list.AppendRow();
    const std::string number = std::to_string(i);
    const Text address = CompleteAddress(page.completion, images[i - 1]);
    WriteCells(list, row,
               {{kNumberColumn, number},
                {kPlatformColumn, page.platform},
                {kImageColumn, address},
                {kTitleColumn, ItemOrEmpty(titles, i)}});
  }
  return static_cast<int>(images.size());
}

std::vector<Slide> CopySlides(const RegexMatcher& matcher, int imageGroup, int titleGroup) {
  std::vector<Slide> slides;
  const int count = matcher.MatchCount();
  slides.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
  for (int m = 1; m <= count; ++m) {
    slides.push_back({matcher.SubMatchText(m, imageGroup), matcher.SubMatchText(m, titleGroup)});
  }
  return slides;
}

void WriteCells(PosterList& list, int row, std::initializer_list<Cell> cells) {
  if (row < 0) return;
  for (const Cell& cell : cells) list.SetCell(row, cell.column, cell.text);
}

namespace {

std::mutex& RunningListsMutex() {
  static std::mutex mutex;
  return mutex;
}

std::set<const PosterList*>& RunningLists() {
  static std::set<const PosterList*> lists;
  return lists;
}

}  // namespace

ListRunGuard::ListRunGuard(const PosterList& list) : list_(&list) {
  std::lock_guard lock(RunningListsMutex());
  acquired_ = RunningLists().insert(list_).second;
}

ListRunGuard::~ListRunGuard() {
  if (!acquired_) return;
  std::lock_guard lock(RunningListsMutex());
  RunningLists().erase(list_);
}

}  // namespace raziriz
