#include "net/curl_easy.h"

#include <array>
#include <atomic>
#include <mutex>

#include "text/event_hook.h"

namespace raziriz {
namespace {

// The process-wide cache of connections, DNS answers and TLS sessions that every
// transfer joins. Cookies are deliberately not part of it: each call keeps its own.
// libcurl calls the lock callbacks from any thread, one mutex per kind of data.
class SharedCache {
 public:
  SharedCache() {
    CURLSH* share = curl_share_init();
    if (share == nullptr) return;
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &SharedCache::Lock);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &SharedCache::Unlock);
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    share_.store(share);
  }
  ~SharedCache() { Close(); }
  SharedCache(const SharedCache&) = delete;
  SharedCache& operator=(const SharedCache&) = delete;

  [[nodiscard]] CURLSH* share() const { return share_.load(); }

  // Releases the cache; later transfers run without it. A cache that handles
  // still use cannot be released and is left to the process's end.
  void Close() {
    CURLSH* share = share_.exchange(nullptr);
    if (share != nullptr && curl_share_cleanup(share) != CURLSHE_OK) share_.store(share);
  }

 private:
  static std::mutex* MutexFor(void* userData, curl_lock_data data) {
    auto* self = static_cast<SharedCache*>(userData);
    const auto index = static_cast<std::size_t>(data);
    return index < self->locks_.size() ? &self->locks_[index] : nullptr;
  }
  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* userData) {
    if (std::mutex* mutex = MutexFor(userData, data)) mutex->lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* userData) {
    if (std::mutex* mutex = MutexFor(userData, data)) mutex->unlock();
  }

  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
  std::atomic<CURLSH*> share_{nullptr};
};

SharedCache& Cache() {
  static SharedCache cache;
  return cache;
}

int AbortWhenStopped(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return StopRequested() ? 1 : 0;
}

}  // namespace

CurlGlobal::CurlGlobal() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  // Built here, before any thread starts, so that no transfer races to create it.
  (void)Cache();
}

CurlGlobal::~CurlGlobal() {
  Cache().Close();
  curl_global_cleanup();
}

std::size_t BodySink::Write(char* data, std::size_t size, std::size_t count, void* sink) {
  auto* self = static_cast<BodySink*>(sink);
  const std::size_t length = size * count;
  if (self->tooLarge || length > kMaxBodyBytes - self->body.size()) {
    // Returning less than was given makes libcurl end the transfer.
    self->tooLarge = true;
    Bytes().swap(self->body);
    return 0;
  }
  if (self->body.empty() && self->handle != nullptr) {
    curl_off_t announced = -1;
    if (curl_easy_getinfo(self->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
        announced > 0 && static_cast<std::size_t>(announced) <= kMaxBodyBytes) {
      self->body.reserve(static_cast<std::size_t>(announced));
    }
  }
  self->body.append(data, length);
  return length;
}

void ApplyCommonOptions(CURL* handle) {
  if (handle == nullptr) return;
  // Only web addresses are fetched: a page-supplied "file://" or "ftp://" address,
  // also as a redirect target, must never reach the local disk or another service.
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  // The sites and callers rely on certificate errors being ignored.
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
  // Offer every encoding libcurl can decode and decode the answer, so callers get
  // the page itself. A caller's own Accept-Encoding header replaces the offer.
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  if (CURLSH* share = Cache().share()) curl_easy_setopt(handle, CURLOPT_SHARE, share);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &AbortWhenStopped);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
}

}  // namespace raziriz
