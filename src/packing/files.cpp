#include "files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "assets.h"
#include "decoder.h"

namespace lz16 {

namespace {

constexpr size_t name_max = 255;  // bytes in a file name, on every file system lz16pack writes to

// The permissions a new file gets from the process's umask, read once.
mode_t file_mode() {
  static const mode_t mode = [] {
    const mode_t mask = umask(022);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

// Writes all of bytes to fd; false with errno set if it cannot.
bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Whether a file's bytes go in place, into a device, a FIFO or a socket
// at path (or that a link at path leads to); else they are renamed over
// path, which replaces a link there, never what it leads to.
bool in_place(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

std::string temp_path(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? temp_name(path)
                                    : path.substr(0, slash + 1) + temp_name(std::string_view(path).substr(slash + 1));
}

// Makes the temporary file temp afresh (taking over a leftover, which the
// unit's lock says is no other live run's) and registers it in temps.
int create_temp(const std::string& temp, TempFiles* temps) {
  std::unique_lock<std::mutex> hold;
  if (temps) {
    hold = std::unique_lock(temps->mutex);
    if (temps->closed) {
      errno = EINTR;
      return -1;
    }
    temps->paths.insert(temp);
  }
  unlink(temp.c_str());  // a leftover, if any: O_EXCL below makes sure of a file of this run's own
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0 && temps) {
    const int e = errno;
    temps->paths.erase(temp);
    errno = e;
  }
  return fd;
}

// Writes bytes to a new temporary file temp, complete and with the
// permissions a new file gets; "" or why not.
std::string write_temp(const std::string& temp, std::string_view bytes, TempFiles* temps) {
  const int fd = create_temp(temp, temps);
  if (fd < 0) return std::strerror(errno);
  if (!write_all(fd, bytes) || fchmod(fd, file_mode()) != 0) {
    const int e = errno;
    close(fd);
    return std::strerror(e);
  }
  return close(fd) == 0 ? "" : std::strerror(errno);
}

std::string write_in_place(const std::string& path, std::string_view bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::strerror(errno);
  // What opened may no longer be what was looked at: a regular file is never written into.
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISREG(st.st_mode)) {
    close(fd);
    return "it changed from a device or FIFO to a file while lz16pack wrote it";
  }
  const bool written = write_all(fd, bytes);
  const int e = errno;
  close(fd);
  return written ? "" : std::strerror(e);
}

// Whether path is a regular file (not a link) that holds bytes already, so
// that writing it again would change nothing but its time.
bool holds(const std::string& path, const std::string& bytes) {
  struct stat st;
  std::string there;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) == bytes.size() &&
         read_file(path, there) && there == bytes;
}

}  // namespace

void remove_temp_files(TempFiles& temps) {
  temps.mutex.lock();  // for good: the process ends before any other thread may go on
  temps.closed = true;
  for (const std::string& temp : temps.paths) unlink(temp.c_str());
  temps.paths.clear();
}

DirectoryLock::~DirectoryLock() {
  if (fd >= 0) close(fd);  // which lets go of the lock
}

std::string lock_directory(const std::string& dir, DirectoryLock& lock) {
  lock.fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock.fd < 0) return "cannot write into " + dir + ": " + std::strerror(errno);
  while (flock(lock.fd, LOCK_EX) != 0)
    if (errno != EINTR) return "cannot lock " + dir + ": " + std::strerror(errno);
  return "";
}

std::string beside_outputs(const std::string& out_dir, const std::string& path) {
  return path.empty() || path.find('/') != std::string::npos || out_dir == "." ? path : out_dir + "/" + path;
}

std::string make_directory(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return "cannot make the directory " + dir + ": " + ec.message();
  if (access(dir.c_str(), W_OK | X_OK) != 0) return "cannot write into " + dir + ": " + std::strerror(errno);
  return "";
}

std::string file_name_problem(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return std::string(1, '\'').append(name).append("' is not a file's name");
  if (name.find('/') != std::string_view::npos) return "a file's name holds no '/'";
  if (name.find('\0') != std::string_view::npos) return "a file's name holds no NUL byte";
  if (name.size() > name_max) return "a file's name is at most " + std::to_string(name_max) + " bytes";
  return "";
}

std::string hidden_name(std::string_view name, std::string_view suffix) {
  std::string hidden(1, '.');
  if (1 + name.size() + suffix.size() <= name_max) return hidden.append(name).append(suffix);
  char tail[24];
  std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(digest(name)));
  const size_t keep = name_max - 1 - 17 - suffix.size();
  return hidden.append(name.substr(0, keep)).append(tail).append(suffix);
}

std::string temp_name(std::string_view name) { return hidden_name(name, ".lz16tmp"); }

std::string write_files(const std::string& dir, const std::vector<OutFile>& files, TempFiles* temps) {
  std::vector<std::string> paths, made, finals;  // the files; temporary files made; files renamed into place
  std::vector<bool> placed, kept;                // written in place; there already, byte for byte
  std::string error;
  auto fail = [&](const std::string& path, const std::string& why) { error = "cannot write " + path + ": " + why; };
  for (const auto& [name, bytes] : files) {
    paths.push_back(dir + "/" + name);
    placed.push_back(in_place(paths.back()));
    kept.push_back(!placed.back() && holds(paths.back(), bytes));
    if (kept.back()) std::remove(temp_path(paths.back()).c_str());  // what a killed run may have left
    if (placed.back() || kept.back()) continue;
    made.push_back(temp_path(paths.back()));
    if (std::string why = write_temp(made.back(), bytes, temps); !why.empty()) {
      fail(paths.back(), why);
      break;
    }
  }
  for (size_t k = 0; error.empty() && k < files.size(); ++k)
    if (placed[k])
      if (std::string why = write_in_place(paths[k], files[k].second); !why.empty()) fail(paths[k], why);

  std::unique_lock<std::mutex> hold;
  if (temps) hold = std::unique_lock(temps->mutex);
  for (size_t k = 0, t = 0; error.empty() && k < files.size(); ++k) {
    if (placed[k] || kept[k]) continue;
    if (std::rename(made[t].c_str(), paths[k].c_str()) != 0) {
      fail(paths[k], std::strerror(errno));
      break;
    }
    finals.push_back(paths[k]);
    if (temps) temps->paths.erase(made[t]);
    made[t++].clear();
  }
  for (const std::string& temp : made) {
    if (temp.empty()) continue;
    unlink(temp.c_str());
    if (temps) temps->paths.erase(temp);
  }
  if (!error.empty())
    for (const std::string& f : finals) std::remove(f.c_str());
  return error;
}

void remove_output(const std::string& dir, const std::string& name) {
  const std::string path = dir + "/" + name;
  std::remove(path.c_str());
  std::remove(temp_path(path).c_str());
}

std::vector<std::string> earlier_frames(const std::string& dir, const std::string& stem) {
  std::vector<std::string> frames;
  std::string bytes;
  auto pixels = [&](const std::string& name) {
    if (!read_file(dir + "/" + name, bytes)) return std::optional<size_t>();
    const DecodeResult r = decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), nullptr, 0);
    return r.error == DecodeError::none ? std::optional(r.npix) : std::nullopt;
  };
  // Numbers of 3 digits or more: 5 hold the most frames an image may give.
  for (int width = 3; width <= 5; ++width) {
    const size_t start = frames.size();
    std::optional<size_t> size;
    for (uint32_t k = 0;; ++k) {
      char number[16];
      std::snprintf(number, sizeof number, "-%0*u", width, k);
      const std::string name = stem + number;
      const std::optional<size_t> n = pixels(name + std::string(lz_suffix));
      if (!n || (k && n != size)) break;
      size = n;
      frames.push_back(name + std::string(lz_suffix));
      frames.push_back(name + std::string(alpha_suffix));
    }
    if (frames.size() - start < 4) frames.resize(start);  // one file alone may be another input's
  }
  return frames;
}

void remove_stale(const std::string& dir, const std::vector<std::string>& names,
                  const std::vector<std::string>& earlier, const std::vector<OutFile>& keep) {
  auto kept = [&](const std::string& name) {
    return std::any_of(keep.begin(), keep.end(), [&](const OutFile& f) { return f.first == name; });
  };
  // Whether name is among the earlier frames of the stem its own name makes it a frame of.
  auto claimed = [&](const std::string& name) {
    const size_t dash = name.rfind('-');
    if (dash == std::string::npos || dash == 0 || !is_frame_file_name(name, name.substr(0, dash))) return false;
    const std::vector<std::string> of = earlier_frames(dir, name.substr(0, dash));
    return std::find(of.begin(), of.end(), name) != of.end();
  };
  for (const std::string& name : names)
    if (!kept(name) && !claimed(name)) remove_output(dir, name);
  for (const std::string& name : earlier)
    if (!kept(name)) remove_output(dir, name);
}

bool read_file(const std::string& path, std::string& bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0) return false;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  bytes.clear();
  char chunk[1 << 16];
  for (ssize_t n; ok && (n = read(fd, chunk, sizeof chunk)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) bytes.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return ok;
}

uint64_t digest(std::string_view bytes) {
  uint64_t h = 0xcbf29ce484222325u;
  for (const char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
  return h;
}

}  // namespace lz16
