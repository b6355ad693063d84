// Output files, written so that nothing half-written is ever seen under a
// final name, and so that runs into one directory do not mix.
//
// Every file is written to a temporary name beside it, ".NAME.lz16tmp",
// and the files of one call are renamed into place together once all are
// complete. Runs take turns per unit (an asset's files) through a lock
// that each directory written into keeps in ".lz16pack.lock"; holding it, a
// run may take over any temporary file of its unit's names, which can only
// be the leftover of a run that was killed. A run that is interrupted
// removes its own temporary files (TempFiles).
//
// A target that exists and is not a regular file (a device, a FIFO) is
// written in place, never replaced; a symbolic link to a regular file has
// that file replaced, and stays a link.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lz16 {

// A file to write: its name in the output directory and its contents.
using OutFile = std::pair<std::string, std::string>;

// The temporary files a run has made and not yet renamed, for a signal to
// remove. Shared by all of a run's threads.
struct TempFiles {
  std::mutex mutex;  // held while a temporary file is made and while files are renamed
  std::set<std::string> paths;
  bool closed = false;  // set once they are removed: no more are made
};

// Removes every temporary file of temps and leaves temps closed and its
// mutex held, so that no file is made or renamed after it: for the thread
// that handles a signal, just before the process exits.
void remove_temp_files(TempFiles& temps);

// The lock of one unit of files in a directory, held while this lives.
struct UnitLock {
  int fd = -1;
  UnitLock() = default;
  UnitLock(const UnitLock&) = delete;
  UnitLock& operator=(const UnitLock&) = delete;
  ~UnitLock();
};

// Takes the lock of unit in dir, waiting while another run holds it.
// Returns "" or a one-line reason.
std::string lock_unit(const std::string& dir, std::string_view unit, UnitLock& lock);

// "" when name can be the name of a file in a directory, else why not: it
// is empty, "." or "..", holds a '/' or a NUL, or is longer than a file
// system takes (255 bytes).
std::string file_name_problem(std::string_view name);

// "." + name + suffix, a hidden file beside name, with the end of a name
// too long for that replaced by a digest of it, so that every name that
// fits has one that fits.
std::string hidden_name(std::string_view name, std::string_view suffix);

// The temporary name of a file name: ".NAME.lz16tmp".
std::string temp_name(std::string_view name);

// Writes the files into dir, each to its temporary name and renamed into
// place once all are complete; the caller holds their unit's lock. temps,
// if given, registers the temporary files while they exist. On a failure
// nothing of this call is left: no temporary file, and none of the files
// under its final name. Returns "" or a one-line reason.
std::string write_files(const std::string& dir, const std::vector<OutFile>& files, TempFiles* temps = nullptr);

// Removes dir/name and its temporary file, if they are there.
void remove_output(const std::string& dir, const std::string& name);

// Reads the whole of the regular file at path into bytes; false if it cannot.
bool read_file(const std::string& path, std::string& bytes);

// A 64-bit digest of bytes (FNV-1a), for telling files apart.
uint64_t digest(std::string_view bytes);

}  // namespace lz16
