// urlkeys squid-helper: answers a proxy's external ACL requests from the key
// lists.
//
// Protocol (one request per line on standard input, one answer per line on
// standard output, in the order the requests arrived):
//   request:  [channel-ID] URL [further tokens, ignored]
//   answer:   [channel-ID] OK tag="LISTS" message="KEY"   a list holds a candidate
//             [channel-ID] ERR                            none does
//             [channel-ID] BH message="WHY"               the line cannot be read
// A leading token of digits only is the channel ID (the proxy's concurrency
// mode); a URL never is one: even an address with a port has a ':'. The URL is
// matched as the proxy writes it: the proxy leaves existing %XX escapes alone
// and escapes only bytes that cannot appear in a URL as sent, which the
// parser's own single decoding turns back into the same bytes.
//
// Input is read with read(2), so every complete line is answered as soon as
// it arrives; the answers to the lines that arrived together are written
// with one write(2) before the helper waits for more input (or sooner, every
// 64 KB of answers), so no answer is held back. A line longer than the line
// limit, or holding a NUL byte, is answered BH when its end arrives; bytes
// past the limit are skipped, never stored, so memory stays constant
// whatever arrives.
//
// SIGHUP reloads the lists on a thread of their own while the old store goes
// on answering; the new store takes over between two requests once it is
// complete. A list that fails to load leaves the old store in place and the
// reason on standard error.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "commands.h"
#include "match/key_store.h"
#include "match/lines.h"
#include "match/matcher.h"

namespace urlkeys::tool {
namespace {

using match::Hit;
using match::KeyStore;
using match::kMaxLine;
using match::LineReader;
using match::LineStatus;
using match::Matcher;

// Pending answers are written at least this often.
constexpr size_t kFlushBytes = 1 << 16;

// A store shared between the answering loop and the reloading thread. The
// loop checks `ready` (one atomic load) before each request and takes the
// new store only when a reload has finished building one; the old store is
// freed then, so a reload needs room for both while it runs.
struct StoreSlot {
  std::mutex mutex;
  std::shared_ptr<const KeyStore> fresh;
  std::atomic<bool> ready{false};
  std::atomic<bool> stopping{false};  // set by the loop before it wakes the reloader
};

std::shared_ptr<const KeyStore> LoadLists(const std::vector<ListOption>& lists,
                                          std::string* error) {
  auto store = std::make_shared<KeyStore>();
  for (const ListOption& list : lists)
    if (!store->LoadFile(list.name, list.path.c_str(), error)) return nullptr;
  return store;
}

// Waits for SIGHUP (reload) or SIGUSR1 (stop, once the loop has set
// `stopping`; from anyone else it is ignored), with both signals blocked in
// every thread of the process, so they arrive only here.
void ReloadOnHangup(const std::vector<ListOption>* lists, StoreSlot* slot, sigset_t signals) {
  for (;;) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0 || slot->stopping.load()) return;
    if (signal != SIGHUP) continue;
    auto start = std::chrono::steady_clock::now();
    std::string error;
    std::shared_ptr<const KeyStore> store = LoadLists(*lists, &error);
    if (!store) {
      fprintf(stderr, "urlkeys squid-helper: reload failed, the old lists stay in use: %s\n",
              error.c_str());
      continue;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    size_t keys = store->KeyCount();
    {
      std::lock_guard<std::mutex> lock(slot->mutex);
      slot->fresh = std::move(store);
      slot->ready.store(true, std::memory_order_release);
    }
    fprintf(stderr, "urlkeys squid-helper: reloaded %zu keys in %.3f s\n", keys, seconds);
  }
}

// Writes all of `text` to standard output; false when the proxy is gone.
bool WriteAll(const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left) {
    ssize_t n = write(STDOUT_FILENO, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Where the token at `p` ends: at the first blank, or at `end`. The line is
// NUL-terminated at `end` (or earlier, at a NUL it holds).
const char* TokenEnd(const char* p, const char* end) {
  const char* stop = p + strcspn(p, " \t");
  return stop < end ? stop : end;
}

// One keyword value as a quoted string: '"' and '\' escaped with '\', as the
// protocol wants (the proxy removes the quotes and the escapes).
void AppendQuoted(std::string* out, std::string_view value) {
  *out += '"';
  if (!memchr(value.data(), '"', value.size()) && !memchr(value.data(), '\\', value.size())) {
    out->append(value);
  } else {
    for (char c : value) {
      if (c == '"' || c == '\\') *out += '\\';
      *out += c;
    }
  }
  *out += '"';
}

class Answerer {
 public:
  Answerer(std::shared_ptr<const KeyStore> store, StoreSlot* slot)
      : store_(std::move(store)), slot_(slot) {
    answer_.reserve(kFlushBytes + 3 * kMaxLine);  // traffic does not make it grow
  }

  // Answers one request line (without its '\n') into the pending answers.
  // `unreadable`, when not null, is why the line cannot be read (it is then
  // the line's head, for the channel ID).
  void Answer(const char* line, size_t length, const char* unreadable) {
    if (slot_->ready.load(std::memory_order_acquire)) TakeFreshStore();
    const char* end = line + length;
    const char* p = line;
    while (p < end && IsBlank(*p)) ++p;
    const char* token = p;
    p = TokenEnd(p, end);
    bool channel = p > token;
    for (const char* c = token; c < p && channel; ++c) channel = *c >= '0' && *c <= '9';
    if (channel) {
      answer_.append(token, static_cast<size_t>(p - token));
      answer_ += ' ';
      while (p < end && IsBlank(*p)) ++p;
      token = p;
      p = TokenEnd(p, end);
    }
    if (unreadable) {
      answer_ += "BH message=";
      AppendQuoted(&answer_, unreadable);
    } else if (p == token) {
      answer_ += "BH message=\"no URL in the request\"";
    } else {
      size_t n = static_cast<size_t>(p - token);
      memcpy(url_, token, n);
      url_[n] = '\0';
      Hit hit;
      if (matcher_.Match(*store_, url_, &hit)) {
        answer_ += "OK";
        AppendLists(hit.lists);
        answer_ += " message=";
        AppendQuoted(&answer_, hit.key);
      } else {
        answer_ += "ERR";
      }
    }
    answer_ += '\n';
  }

  size_t Pending() const { return answer_.size(); }

  // Writes the pending answers; false when the proxy is gone.
  bool Flush() {
    bool ok = WriteAll(answer_);
    answer_.clear();
    return ok;
  }

 private:
  void TakeFreshStore() {
    std::lock_guard<std::mutex> lock(slot_->mutex);
    store_ = std::move(slot_->fresh);
    slot_->ready.store(false, std::memory_order_relaxed);
  }

  // tag="a,b": the names of the lists holding the key (unnamed lists have
  // none to show; no tag when all are unnamed).
  void AppendLists(uint64_t lists) {
    std::string_view separator = " tag=\"";
    bool any = false;
    for (int i = 0; i < store_->ListCount() && i < KeyStore::kMaxLists; ++i) {
      std::string_view name = store_->ListName(i);
      if (!(lists >> i & 1) || name.empty()) continue;
      answer_ += separator;
      for (char c : name) {
        if (c == '"' || c == '\\') answer_ += '\\';
        answer_ += c;
      }
      separator = ",";
      any = true;
    }
    if (any) answer_ += '"';
  }

  std::shared_ptr<const KeyStore> store_;
  StoreSlot* slot_;
  Matcher matcher_;
  std::string answer_;
  char url_[kMaxLine + 1];
};

}  // namespace

int RunSquidHelper(const Options& options) {
  if (options.lists.empty()) return UsageError("squid-helper needs at least one --list");
  if (!options.urls.empty())
    return UsageError("squid-helper reads its requests on standard input, not as arguments");
  std::string error;
  std::shared_ptr<const KeyStore> store = LoadLists(options.lists.items(), &error);
  if (!store) {
    fprintf(stderr, "urlkeys: %s\n", error.c_str());
    return 2;
  }

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGHUP);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  StoreSlot slot;
  std::thread reloader(ReloadOnHangup, &options.lists.items(), &slot, signals);

  auto answerer = std::make_unique<Answerer>(std::move(store), &slot);  // 64 KB: not on the stack
  LineReader reader(STDIN_FILENO);
  int status = 0;
  for (bool open = true; open;) {
    const char* line = nullptr;
    size_t length = 0;
    switch (reader.Next(&line, &length)) {
      case LineReader::kLine: answerer->Answer(line, length, nullptr); break;
      case LineReader::kTooLong:
        answerer->Answer(line, length, match::SkipTextsOf(LineStatus::kTooLong).request);
        break;
      case LineReader::kHasNul:
        answerer->Answer(line, length, match::SkipTextsOf(LineStatus::kHasNul).request);
        break;
      case LineReader::kEnd: open = false; break;
      case LineReader::kError:
        fprintf(stderr, "urlkeys: error reading the requests: %s\n", strerror(errno));
        status = 2;
        open = false;
        break;
    }
    // Out before waiting for more input, and at least every kFlushBytes.
    if ((!open || reader.WouldWait() || answerer->Pending() >= kFlushBytes) && !answerer->Flush()) {
      status = 2;  // the proxy is gone
      break;
    }
  }

  slot.stopping.store(true);
  pthread_kill(reloader.native_handle(), SIGUSR1);
  reloader.join();
  return status;
}

}  // namespace urlkeys::tool
