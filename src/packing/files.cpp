#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lz16 {

namespace {

constexpr size_t name_max = 255;  // bytes in a file name, on every file system lz16pack writes to
const char lock_name[] = ".lz16pack.lock";

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

// Where a file's bytes go: in place into a target that is there and is
// not a regular file or a directory; else renamed over path, or over the
// regular file that path links to.
struct Target {
  std::string path;
  bool in_place = false;
};

Target target_of(const std::string& path) {
  struct stat st, link;
  if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return {path};
  if (!S_ISREG(st.st_mode)) return {path, true};
  if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
    if (char* real = realpath(path.c_str(), nullptr)) {
      Target t{real};
      std::free(real);
      return t;
    }
  return {path};
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
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  const bool written = write_all(fd, bytes);
  const int e = errno;
  close(fd);
  return written ? "" : std::strerror(e);
}

}  // namespace

void remove_temp_files(TempFiles& temps) {
  temps.mutex.lock();  // for good: the process ends before any other thread may go on
  temps.closed = true;
  for (const std::string& temp : temps.paths) unlink(temp.c_str());
  temps.paths.clear();
}

UnitLock::~UnitLock() {
  if (fd >= 0) close(fd);  // which lets go of the lock
}

std::string lock_unit(const std::string& dir, std::string_view unit, UnitLock& lock) {
  const std::string path = dir + "/" + lock_name;
  lock.fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lock.fd < 0) return "cannot write into " + dir + ": " + std::strerror(errno);
  // One byte of the file per unit: an open file description's lock, so that
  // the threads of one run exclude each other like separate runs.
  struct flock range {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(digest(unit) >> 34);  // below 2^30
  range.l_len = 1;
  while (fcntl(lock.fd, F_OFD_SETLKW, &range) != 0)
    if (errno != EINTR) return "cannot lock " + path + ": " + std::strerror(errno);
  return "";
}

std::string file_name_problem(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return "'" + std::string(name) + "' is not a file's name";
  if (name.find('/') != std::string_view::npos) return "a file's name holds no '/'";
  if (name.find('\0') != std::string_view::npos) return "a file's name holds no NUL byte";
  if (name.size() > name_max) return "a file's name is at most " + std::to_string(name_max) + " bytes";
  return "";
}

std::string hidden_name(std::string_view name, std::string_view suffix) {
  if (1 + name.size() + suffix.size() <= name_max) return "." + std::string(name) + std::string(suffix);
  char tail[24];
  std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(digest(name)));
  const size_t keep = name_max - 1 - 17 - suffix.size();
  return "." + std::string(name.substr(0, keep)) + tail + std::string(suffix);
}

std::string temp_name(std::string_view name) { return hidden_name(name, ".lz16tmp"); }

std::string write_files(const std::string& dir, const std::vector<OutFile>& files, TempFiles* temps) {
  std::vector<Target> targets;
  std::vector<std::string> made, finals;  // temporary files made; files renamed into place
  std::string error;
  auto fail = [&](const std::string& path, const std::string& why) { error = "cannot write " + path + ": " + why; };
  for (const auto& [name, bytes] : files) {
    const std::string path = dir + "/" + name;
    targets.push_back(target_of(path));
    if (targets.back().in_place) continue;
    made.push_back(temp_path(targets.back().path));
    if (std::string why = write_temp(made.back(), bytes, temps); !why.empty()) {
      fail(path, why);
      break;
    }
  }
  for (size_t k = 0; error.empty() && k < files.size(); ++k)
    if (targets[k].in_place)
      if (std::string why = write_in_place(targets[k].path, files[k].second); !why.empty()) fail(targets[k].path, why);

  std::unique_lock<std::mutex> hold;
  if (temps) hold = std::unique_lock(temps->mutex);
  for (size_t k = 0, t = 0; error.empty() && k < files.size(); ++k) {
    if (targets[k].in_place) continue;
    if (std::rename(made[t].c_str(), targets[k].path.c_str()) != 0) {
      fail(dir + "/" + files[k].first, std::strerror(errno));
      break;
    }
    finals.push_back(targets[k].path);
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
