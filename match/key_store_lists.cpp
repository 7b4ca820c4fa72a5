// Reading list text into the key store: the line syntax, single lines and
// whole files.
#include "match/key_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "match/key_store_impl.h"

namespace urlkeys::match {
namespace {

constexpr size_t kReadBlock = size_t{1} << 20;

// The key a list line stands for: without a comment from the first '#',
// without leading blanks (space, tab) and trailing ones (space, tab, CR).
std::string_view TrimLine(std::string_view line) {
  size_t hash = line.find('#');
  if (hash != std::string_view::npos) line = line.substr(0, hash);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
    line.remove_suffix(1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  return line;
}

std::string PathError(const char* what, const char* path, int err) {
  return std::string(what) + " the key list '" + path + "': " + strerror(err);
}

// A file descriptor closed on every way out.
class File {
 public:
  explicit File(int fd) : fd_(fd) {}
  ~File() {
    if (fd_ >= 0) close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// read() that goes on after a signal; -1 with errno on failure.
ssize_t ReadSome(int fd, void* buf, size_t n) {
  for (;;) {
    ssize_t r = read(fd, buf, n);
    if (r >= 0 || errno != EINTR) return r;
  }
}

}  // namespace

bool KeyStore::AddLine(std::string_view name, std::string_view line) {
  int list = ListIndex(name, nullptr);
  if (list < 0) return false;
  std::string_view key = TrimLine(line);
  return key.empty() || AddKeys(&key, 1, uint64_t{1} << list, nullptr);
}

bool KeyStore::LoadFile(std::string_view name, const char* path, std::string* error) {
  File file(open(path, O_RDONLY | O_CLOEXEC));
  if (file.fd() < 0) {
    SetError(error, PathError("cannot read", path, errno));
    return false;
  }
  struct stat info;
  bool known = fstat(file.fd(), &info) == 0;
  if (known && S_ISDIR(info.st_mode)) {
    SetError(error, PathError("cannot read", path, EISDIR));
    return false;
  }
  bool regular = known && S_ISREG(info.st_mode);
  int list = ListIndex(name, error);
  if (list < 0) return false;
  const uint64_t bit = uint64_t{1} << list;

  std::vector<char> buffer(kReadBlock);
  // A regular file is read twice: first to count its lines, so that the
  // table is sized once and the arena is reserved in one block.
  if (regular) {
#ifdef POSIX_FADV_SEQUENTIAL
    posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    size_t lines = 1;
    for (;;) {
      ssize_t n = ReadSome(file.fd(), buffer.data(), buffer.size());
      if (n < 0) {
        SetError(error, PathError("error reading", path, errno));
        return false;
      }
      if (n == 0) break;
      lines += static_cast<size_t>(std::count(buffer.data(), buffer.data() + n, '\n'));
    }
    if (lseek(file.fd(), 0, SEEK_SET) != 0) {
      SetError(error, PathError("error reading", path, errno));
      return false;
    }
    size_t size = static_cast<size_t>(info.st_size);
    if (!Reserve(count_ + lines) || !ArenaRoom(size + size / 64 + 64)) {
      SetError(error, "out of memory for the key list '" + std::string(path) + "'");
      return false;
    }
  }
  std::string_view batch[kBatch];
  int batched = 0;
  auto add = [&](std::string_view line) {
    std::string_view key = TrimLine(line);
    if (key.empty()) return true;
    batch[batched++] = key;
    if (batched < kBatch) return true;
    batched = 0;
    return AddKeys(batch, kBatch, bit, error);
  };
  size_t have = 0;
  for (;;) {
    ssize_t n = ReadSome(file.fd(), buffer.data() + have, buffer.size() - have);
    if (n < 0) {
      SetError(error, PathError("error reading", path, errno));
      return false;
    }
    if (n == 0) break;
    have += static_cast<size_t>(n);
    const char* start = buffer.data();
    const char* end = start + have;
    while (const char* nl =
               static_cast<const char*>(memchr(start, '\n', static_cast<size_t>(end - start)))) {
      if (!add(std::string_view(start, static_cast<size_t>(nl - start)))) return false;
      start = nl + 1;
    }
    // The batch points into the buffer: add it before the buffer moves.
    if (batched && !AddKeys(batch, std::exchange(batched, 0), bit, error)) return false;
    have = static_cast<size_t>(end - start);
    memmove(buffer.data(), start, have);
    if (have == buffer.size()) buffer.resize(buffer.size() * 2);  // one line fills it
  }
  if (have && !add(std::string_view(buffer.data(), have))) return false;
  return !batched || AddKeys(batch, batched, bit, error);
}

}  // namespace urlkeys::match
