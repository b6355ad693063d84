// Output files, written so that nothing half-written is ever seen under a
// final name, so that runs into one directory do not mix, and so that
// nothing is left that was not asked for.
//
// Every file is written to a temporary name beside it, ".NAME.lz16tmp",
// and the files of one call are renamed into place together once all are
// complete. Runs take turns at a directory through a lock on the directory
// itself; holding it, a run may take over any temporary file of the names
// it writes, which can only be the leftover of a run that was killed. A
// run that is interrupted removes its own temporary files (TempFiles).
//
// A target that is a device, a FIFO or a socket (or a link to one) is
// written in place, never replaced; any other symbolic link is replaced
// by the file, never followed, and no temporary file follows one.
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

// The lock of a directory, held while this lives: an flock() of the
// directory's own open description, so that the threads of one run
// exclude each other as separate runs do, and nothing is left behind.
struct DirectoryLock {
  int fd = -1;
  DirectoryLock() = default;
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;
  ~DirectoryLock();
};

// Takes the lock of dir, waiting while another holds it. Returns "" or a
// one-line reason.
std::string lock_directory(const std::string& dir, DirectoryLock& lock);

// Where a report given as path goes: a bare file name is a file in
// out_dir, as --index's is; a path with a directory is taken as it is.
std::string beside_outputs(const std::string& out_dir, const std::string& path);

// Makes dir and the directories above it that are missing, and checks
// that files can be made in it. Returns "" or a one-line reason.
std::string make_directory(const std::string& dir);

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
// place once all are complete (a file that holds its bytes already is left
// as it is, its time too, so that builds see nothing new); the caller holds their unit's lock. temps,
// if given, registers the temporary files while they exist. On a failure
// nothing of this call is left: no temporary file, and none of the files
// under its final name. Returns "" or a one-line reason.
std::string write_files(const std::string& dir, const std::vector<OutFile>& files, TempFiles* temps = nullptr);

// Removes dir/name and its temporary file, if they are there.
void remove_output(const std::string& dir, const std::string& name);

// The frames' files that an earlier run wrote for stem in dir, as the
// files themselves tell: STEM-000.lz on, in any number width, as long as
// each is there and decodes to as many pixels as the first (an
// animation's frames are one size, so that another input's file that only
// bears a frame's name, anim-005.lz of anim-005.png, ends them unless it
// is that size too), each followed by its alpha plane's name. One such file
// alone is no earlier run's frames: it may be another input's still
// picture, anim-000.lz of anim-000.png.
std::vector<std::string> earlier_frames(const std::string& dir, const std::string& stem);

// Removes from dir what earlier runs of an asset wrote that keep does not
// hold: the names (every file the asset may have beside its frames'), but
// for a name that another asset's earlier frames take in, and the earlier
// frames' files.
void remove_stale(const std::string& dir, const std::vector<std::string>& names,
                  const std::vector<std::string>& earlier, const std::vector<OutFile>& keep);

// Reads the whole of the regular file at path into bytes; false if it cannot.
bool read_file(const std::string& path, std::string& bytes);

// A 64-bit digest of bytes (FNV-1a), for telling files apart.
uint64_t digest(std::string_view bytes);

}  // namespace lz16
