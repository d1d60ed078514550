// Text line files: all file and console traffic of the tool. A TextLineFile is a named
// file or a standard handle, read line by line or written as text with CR LF line ends.
// It holds what the file is (its name, role, handle and device); its reading half is a
// LineReader (line_reader.h), its writing half a LineWriter (line_writer.h).
//
// An operation that opens, reads, writes or closes may record a failure code
// (failure_codes.h) and is to be followed at once by CheckFileFailure(); when one
// operation records several, the last one stands. Those whose contract says "never
// fails" record nothing.
//
// Transfers: standard handles, pipes and consoles move exactly 128 bytes per platform
// call (one write per 128 bytes; on a console, and always on the error output, also one
// per write operation). A named disk file, and standard output led into a disk file, move
// larger blocks, a multiple of 128 bytes, and so does a file that carries bulk text rather
// than the run's own words (MoveInBlocks) on a pipe. A writing file that is abandoned
// (destroyed without CloseFile) still ends holding exactly the whole 128-byte pieces of
// what was written to it, as with 128-byte transfers.

#ifndef QUILLPACK_TEXT_LINE_FILES_H_
#define QUILLPACK_TEXT_LINE_FILES_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "text/line_reader.h"
#include "text/line_writer.h"

namespace quillpack {

enum class TextFileMode { kClosed, kReading, kWriting };

class TextLineFile {
 public:
  TextLineFile();
  ~TextLineFile();

  TextLineFile(const TextLineFile&) = delete;
  TextLineFile& operator=(const TextLineFile&) = delete;

  // Resets the object to Closed with `name` and an empty buffer. Bytes still waiting are
  // lost: close a file before naming it again. An empty name stands for standard input
  // (when opened for reading) or standard output (for writing). Never fails.
  void AssignName(std::string_view name);

  // Opens the named file, which must exist, for reading from its start. Records the
  // platform's code on failure (2 missing file, 3 missing directory or a name longer than
  // the platform takes, 5 refused, 32 held open for writing).
  void OpenForReading();

  // As OpenForReading, with the assigned name reached as `name` inside `directory`, which
  // holds it: the system looks the name up from there instead of from the root. Only a
  // regular file opens (platform::kNotRegularFile for anything else, never waited on);
  // `opened`, when given, receives what it is at opening.
  void OpenForReadingIn(const platform::Directory& directory, const std::string& name,
                        platform::OpenedFile* opened = nullptr);

  // The size and last-write time of the file open for reading, as they are now. Records
  // the platform's code, or 104 on a file not open for reading.
  platform::FileStamp CurrentStamp();

  // Creates the named file, or empties an existing one, for writing. Records the
  // platform's code on failure, or 105 when the handle's device kind is unknown.
  void OpenForWriting();

  // Takes over `handle`, opened for writing by the caller under the assigned name, as
  // OpenForWriting would have opened it: the file owns the handle from now on.
  void AdoptForWriting(platform::OwnedHandle handle, platform::DeviceKind kind);
  // As AdoptForWriting, for a handle opened for reading.
  void AdoptForReading(platform::OwnedHandle handle, platform::DeviceKind kind);

  // For a file that carries bulk text, such as a merged file, rather than the run's own
  // words: open for writing on a pipe or a disk file, standard output included, it hands
  // its bytes to the platform in blocks of kDiskBlockBytes from now on, as a named disk
  // file does. A console and the error output keep their transfers, and a file not open
  // for writing is left as it is. Bytes already waiting stay. Never fails.
  void MoveInBlocks();

  // The next line without its line end: LF or CR LF ends a line, a CR followed by
  // anything else is dropped, Ctrl-Z ends the input for good and stays unread. Empty at
  // the end of the input, with no failure. Records 104 on a file not open for reading
  // (standard input opens itself).
  std::string ReadTextLine();
  void ReadTextLine(std::string* line);

  // As ReadTextLine, for a caller that only looks at the line before the next operation
  // on this file: the result may point into the transfer buffer, and `scratch` holds the
  // line when it does not lie whole in the buffer. Saves a copy of every line.
  std::string_view ReadTextLineView(std::string* scratch);

  // Reads the next line as ReadTextLine does, but hands its bytes to `sink` piece by piece
  // (none for an empty line) instead of building it: a line of any length needs no more
  // memory than the buffer. A failure the sink raises leaves the rest of the line unread.
  void ReadTextLineInto(LineSink& sink);

  // Copies the following lines to `target`, each exactly as WriteTextLine would write it,
  // or drops them when `target` is null; a line of any length goes through in pieces, so
  // memory stays flat. Stops at the end of the input, at a failure (recorded as by the
  // single operations; a line cut short by a failed read may have gone out in part), and
  // before a line it leaves to the caller: one that begins with one of `stopPrefixes` as
  // the line reader reads it (a CR that no LF follows is dropped), or that starts so near
  // the end of the buffer that it cannot tell. Does nothing for a target that is not open
  // for writing or that writes every operation at once (a console), so that such a
  // target's transfers still follow the lines one by one.
  void CopyLinesTo(TextLineFile* target, std::span<const std::string_view> stopPrefixes = {});

  // What the line reader drops of a file (line_reader.h).
  using Losses = LineLosses;

  // Counts the lines of a file just opened for reading and notes what reading it drops.
  void WatchLosses();

  // The number of the line at the read position, from 1. REQUIRES: WatchLosses() since
  // the file was opened.
  uint64_t LineNumber() const;

  // What reading has dropped so far. At a Ctrl-Z it also tells whether bytes follow it,
  // reading on once where it must: a Ctrl-Z that is the file's last byte loses nothing.
  // REQUIRES: WatchLosses() since the file was opened.
  Losses ReadLosses();

  // Whether nothing more can be read: true at the end of the input, at a Ctrl-Z, after a
  // failed fill, and (recording 104) on a file not open for reading. On a console it
  // waits for the user's next line.
  bool AtEnd();

  // Whether the end of the input has already been met: a fill of 0 bytes, a named disk
  // file that has read the size it had at opening in a fill short of its block, or a
  // Ctrl-Z at the read position. Unlike AtEnd it never calls the platform, so it never
  // waits.
  bool InputEnded() const;

  // The line end that WriteTextLine and CopyLinesTo give each line written to this file
  // from now on: CR LF until set otherwise. Naming the file again keeps it.
  void SetLineEnd(LineEnd lineEnd) { writer_.SetLineEnd(lineEnd); }

  // Whether the first block of a file just opened for reading holds a NUL byte, which no
  // text holds (binary data, UTF-16): reads that block if nothing was read yet, and
  // records a failed read.
  bool FirstBlockHoldsNul();

  // Appends the text's bytes; WriteTextLine appends the line end after them, as one
  // operation.
  // Records 105 on a file open for reading, 103 on a closed one (standard output opens
  // itself), or the platform's code when a write fails (the waiting bytes and the rest of
  // the text are then dropped; the file stays open).
  void WriteText(std::string_view text);
  void WriteTextLine(std::string_view text);

  // Writes the waiting bytes now, whatever the device. Records 103 on a closed file
  // (other than standard output, where nothing happens).
  void FlushOutput();

  // Writes the waiting bytes and closes. A failed final write is recorded and leaves the
  // file open for writing. A standard handle is never closed. Records 103 on a file that
  // is not open (other than standard input).
  void CloseFile();

  // Whether the file is open on a console: a terminal (platform::DeviceKind::kTerminal),
  // not /dev/null or another character device. A closed standard output
  // or error output opens itself first, as on its first write, and records the platform's
  // code when it cannot (giving false).
  bool IsConsole();

  TextFileMode Mode() const { return openMode_; }
  const std::string& AssignedName() const { return assignedName_; }

 private:
  friend TextLineFile& StandardInput();
  friend TextLineFile& StandardOutput();
  friend TextLineFile& StandardError();

  enum class Role { kNamed, kStandardInput, kStandardOutput, kStandardError };
  explicit TextLineFile(Role role);

  void Open(TextFileMode mode, const platform::Directory* directory = nullptr,
            const std::string* name = nullptr, platform::OpenedFile* opened = nullptr);
  void Adopt(platform::Handle handle, platform::OwnedHandle owned, platform::DeviceKind kind,
             TextFileMode mode, uint64_t sizeAtOpening = 0);
  void CloseBeforeReopening();

  platform::StandardStream StandardStreamFor(TextFileMode mode) const;
  bool IsStandardWriter() const;
  bool ReadyFor(TextFileMode mode, bool opensItself, int32_t code);
  bool ReadyToRead();
  bool ReadyToWrite();
  void Write(std::string_view text, std::string_view lineEnd);

  Role role_;
  std::string assignedName_;
  TextFileMode openMode_ = TextFileMode::kClosed;
  // What the file reads or writes through: a named file's own handle, or a standard one.
  platform::Handle handle_ = platform::kNoHandle;
  // A named file's handle, closed with the file; standard handles are never closed.
  platform::OwnedHandle ownedHandle_;
  bool onConsole_ = false;
  bool onPipe_ = false;
  LineReader reader_;
  LineWriter writer_;
};

// The process's standard input and output: closed at start-up, they open themselves on
// first use.
TextLineFile& StandardInput();
TextLineFile& StandardOutput();

// The error output, for the run's own words when standard output carries data: opens
// itself on first use as standard output does, and writes every operation at once
// whatever the device, so that nothing waits in it at the end of the process.
TextLineFile& StandardError();

// The last step of the process: closes StandardInput and StandardOutput so that waiting
// output is written. Returns the failure code of that final write of standard output, 0
// when it succeeded or nothing was waiting; every other code is dropped.
int32_t CloseStandardFiles();

}  // namespace quillpack

#endif  // QUILLPACK_TEXT_LINE_FILES_H_
