#pragma once
// What every libcurl transfer of this program shares: one owner per handle, the
// safety settings, the body size limit and the stop flag.

#include <curl/curl.h>

#include <cstddef>
#include <memory>

#include "text/text.h"

namespace raziriz {

// libcurl's process-wide set-up: construct once in main before any thread starts.
class CurlGlobal {
 public:
  CurlGlobal();
  ~CurlGlobal();
  CurlGlobal(const CurlGlobal&) = delete;
  CurlGlobal& operator=(const CurlGlobal&) = delete;
};

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHeaderList = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// A body larger than this is not held: the transfer stops and the body is dropped.
inline constexpr std::size_t kMaxBodyBytes = 64u * 1024 * 1024;

// Collects a response body up to kMaxBodyBytes. Use `Write` as the
// CURLOPT_WRITEFUNCTION with the sink as CURLOPT_WRITEDATA.
struct BodySink {
  Bytes body;
  bool tooLarge = false;
  // Optional: the transfer's handle, so that room for an announced body length
  // (up to the limit) is taken once instead of growing the body step by step.
  CURL* handle = nullptr;
  static std::size_t Write(char* data, std::size_t size, std::size_t count, void* sink);
};

// Sets on `handle` what every transfer here needs: http and https only (also on
// redirects), certificate and host checks off, gzip and deflate decoded, the
// process-wide connection, DNS and TLS session cache, and a progress callback that
// aborts the transfer once the calling thread's stop flag is set.
void ApplyCommonOptions(CURL* handle);

}  // namespace raziriz
