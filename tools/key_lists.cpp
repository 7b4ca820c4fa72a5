#include "key_lists.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace urlkeys::tool {
namespace {

constexpr const char* kSampleList[] = {
    "# sample key list: hosts and host/path prefixes",
    "example.com/ads",
    "tracker.example.net",
    "phish.example.co.uk/login",
    "192.168.1.10",
    "malware.test",
};

constexpr const char* kSampleUrls[] = {
    "http://www.example.com/ads/banner.gif?id=7",
    "https://example.com/news/today.html",
    "http://cdn.tracker.example.net/pixel.png",
    "http://tracker.example.net/",
    "https://phish.example.co.uk/login/index.php?user=bob",
    "https://phish.example.co.uk/about",
    "http://192.168.1.10/admin/setup.cgi",
    "http://192.168.1.100/",
    "http://download.malware.test/setup.exe",
    "example.org/ads/banner.gif",
    "ftp://files.example.com:21/pub/",
    "http://www.example.net/",
};

}  // namespace

bool LoadKeyLists(const Options& options, urlkeys::match::KeyStore* store) {
  auto start = std::chrono::steady_clock::now();
  if (options.lists.empty()) {
    for (const char* line : kSampleList) store->AddLine("", line);
    return true;
  }
  for (const ListOption& list : options.lists.items()) {
    std::string error;
    if (!store->LoadFile(list.name, list.path.c_str(), &error)) {
      fprintf(stderr, "urlkeys: %s\n", error.c_str());
      return false;
    }
  }
  if (options.stats) {
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fprintf(stderr, "urlkeys: %zu keys in %d list%s loaded in %.3f s (%.0f keys/s, %.1f MB)\n",
            store->KeyCount(), store->ListCount(), store->ListCount() == 1 ? "" : "s", seconds,
            seconds > 0 ? static_cast<double>(store->KeyCount()) / seconds : 0.0,
            static_cast<double>(store->MemoryBytes()) / 1e6);
  }
  return true;
}

std::span<const char* const> SampleUrls() { return kSampleUrls; }

}  // namespace urlkeys::tool
