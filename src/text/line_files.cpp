#include "text/line_files.h"

#include <utility>

#include "failures/failure_codes.h"

namespace quillpack {

TextLineFile::TextLineFile() : TextLineFile(Role::kNamed) {}

TextLineFile::TextLineFile(Role role) : role_(role) {}

// An abandoned writer keeps what 128-byte transfers would have written by now, on a
// standard handle too; a named file's handle then closes with it.
TextLineFile::~TextLineFile() {
  if (openMode_ == TextFileMode::kWriting) writer_.Abandon();
}

void TextLineFile::AssignName(std::string_view name) {
  // The waiting bytes are lost, but the handle and the sharing it holds are released.
  ownedHandle_.Close();
  assignedName_.assign(name);
  openMode_ = TextFileMode::kClosed;
  handle_ = platform::kNoHandle;
  onConsole_ = false;
  onPipe_ = false;
  reader_.Reset();
  writer_.Reset();
}

void TextLineFile::OpenForReading() {
  Open(TextFileMode::kReading);
}

void TextLineFile::OpenForWriting() {
  Open(TextFileMode::kWriting);
}

// A file whose final write failed is still open: reopening closes it all the same.
void TextLineFile::CloseBeforeReopening() {
  CloseFile();
  ownedHandle_.Close();
  openMode_ = TextFileMode::kClosed;
}

void TextLineFile::OpenForReadingIn(const platform::Directory& directory, const std::string& name,
                                    platform::OpenedFile* opened) {
  Open(TextFileMode::kReading, &directory, &name, opened);
}

platform::FileStamp TextLineFile::CurrentStamp() {
  platform::FileStamp stamp;
  if (openMode_ != TextFileMode::kReading) {
    RecordFailure(kFileNotOpenForReading);
  } else if (int32_t code = platform::StampOf(handle_, &stamp)) {
    RecordFailure(code);
  }
  return stamp;
}

// `directory` and `name`, where given, reach the assigned name from a directory held;
// `opened` then receives what the open told.
void TextLineFile::Open(TextFileMode mode, const platform::Directory* directory,
                        const std::string* name, platform::OpenedFile* opened) {
  if (openMode_ != TextFileMode::kClosed) CloseBeforeReopening();
  platform::OwnedHandle owned;
  platform::Handle handle = platform::kNoHandle;
  platform::DeviceKind kind = platform::DeviceKind::kUnknown;
  uint64_t size = 0;
  int32_t code;
  if (assignedName_.empty()) {
    code = platform::GetStandardHandle(StandardStreamFor(mode), &handle);
    if (code == 0) kind = platform::KindOf(handle);
  } else if (assignedName_.size() > platform::kMaxPathBytes) {
    code = platform::kPathNotFound;
  } else if (mode == TextFileMode::kReading && directory) {
    platform::OpenedFile told;
    code = platform::OpenExistingForReadingIn(*directory, *name, &owned, &told);
    kind = told.kind;
    size = told.stamp.size;
    if (opened) *opened = told;
  } else if (mode == TextFileMode::kReading) {
    code = platform::OpenExistingForReading(assignedName_, &owned, &kind, &size);
  } else {
    code = platform::CreateForWriting(assignedName_, &owned, &kind);
  }
  // A named file of no known kind is closed again as `owned` goes.
  if (code == 0 && mode == TextFileMode::kWriting && kind == platform::DeviceKind::kUnknown) {
    code = kFileNotOpenForWriting;
  }
  if (code != 0) {
    RecordFailure(code);
    return;
  }
  if (owned.IsOpen()) handle = owned.get();
  Adopt(handle, std::move(owned), kind, mode, size);
}

void TextLineFile::AdoptForWriting(platform::OwnedHandle handle, platform::DeviceKind kind) {
  if (openMode_ != TextFileMode::kClosed) CloseBeforeReopening();
  platform::Handle raw = handle.get();
  Adopt(raw, std::move(handle), kind, TextFileMode::kWriting);
}

void TextLineFile::AdoptForReading(platform::OwnedHandle handle, platform::DeviceKind kind) {
  if (openMode_ != TextFileMode::kClosed) CloseBeforeReopening();
  platform::Handle raw = handle.get();
  Adopt(raw, std::move(handle), kind, TextFileMode::kReading);
}

void TextLineFile::Adopt(platform::Handle handle, platform::OwnedHandle owned,
                         platform::DeviceKind kind, TextFileMode mode, uint64_t sizeAtOpening) {
  bool namedDisk = owned.IsOpen() && kind == platform::DeviceKind::kDisk;
  // Only a terminal is a console: /dev/null and other devices take their bytes as a pipe.
  onConsole_ = kind == platform::DeviceKind::kTerminal;
  onPipe_ = kind == platform::DeviceKind::kPipe;
  // Standard output led into a file writes as a named disk file does: only pipes and
  // consoles need every 128 bytes to go out as they come.
  bool diskOutput = role_ == Role::kStandardOutput && kind == platform::DeviceKind::kDisk;
  std::size_t transferSize = namedDisk || diskOutput ? kDiskBlockBytes : kTransferBytes;
  reader_.Reset();
  writer_.Reset();
  if (mode == TextFileMode::kReading) {
    // A size of 0 may be a file that only knows its bytes as it yields them (/proc): only
    // a read of 0 bytes ends such a file.
    InputEndRule endRule =
        namedDisk && sizeAtOpening > 0 ? InputEndRule::kShortReadAtSize : InputEndRule::kEmptyRead;
    reader_.Start(handle, transferSize, endRule, sizeAtOpening);
  } else {
    // The error output holds back nothing, wherever it leads: its lines are words about
    // the run, due at once, and reports written straight to its handle must not overtake
    // them.
    bool eachWrite = onConsole_ || role_ == Role::kStandardError;
    writer_.Start(handle, transferSize, eachWrite ? WriteRule::kEachWrite : WriteRule::kWhenFull);
  }
  handle_ = handle;
  ownedHandle_ = std::move(owned);
  openMode_ = mode;
}

platform::StandardStream TextLineFile::StandardStreamFor(TextFileMode mode) const {
  if (mode == TextFileMode::kReading) return platform::StandardStream::kInput;
  return role_ == Role::kStandardError ? platform::StandardStream::kError
                                       : platform::StandardStream::kOutput;
}

bool TextLineFile::IsStandardWriter() const {
  return role_ == Role::kStandardOutput || role_ == Role::kStandardError;
}

// A file not open in `mode` records `code`, except the standard files of that direction,
// which open themselves on first use.
bool TextLineFile::ReadyFor(TextFileMode mode, bool opensItself, int32_t code) {
  if (openMode_ == mode) return true;
  if (opensItself && openMode_ == TextFileMode::kClosed) {
    Open(mode);
    if (openMode_ == mode) return true;
  }
  RecordFailure(code);
  return false;
}

bool TextLineFile::IsConsole() {
  if (openMode_ == TextFileMode::kClosed && IsStandardWriter()) Open(TextFileMode::kWriting);
  return openMode_ != TextFileMode::kClosed && onConsole_;
}

void TextLineFile::CloseFile() {
  if (openMode_ == TextFileMode::kClosed) {
    if (role_ != Role::kStandardInput) RecordFailure(kFileNotOpen);
    return;
  }
  if (openMode_ == TextFileMode::kWriting && !writer_.Flush()) return;
  if (!ownedHandle_.IsOpen()) return;
  openMode_ = TextFileMode::kClosed;
  handle_ = platform::kNoHandle;
  if (int32_t code = ownedHandle_.Close()) RecordFailure(code);
}

bool TextLineFile::ReadyToRead() {
  return ReadyFor(TextFileMode::kReading, role_ == Role::kStandardInput, kFileNotOpenForReading);
}

std::string TextLineFile::ReadTextLine() {
  std::string line;
  ReadTextLine(&line);
  return line;
}

void TextLineFile::ReadTextLine(std::string* line) {
  std::string_view read = ReadTextLineView(line);
  if (read.data() != line->data()) line->assign(read);
}

std::string_view TextLineFile::ReadTextLineView(std::string* scratch) {
  if (!ReadyToRead()) {
    scratch->clear();
    return *scratch;
  }
  return reader_.ReadLineView(scratch);
}

void TextLineFile::ReadTextLineInto(LineSink& sink) {
  if (ReadyToRead()) reader_.ReadLineInto(sink);
}

void TextLineFile::CopyLinesTo(TextLineFile* target,
                               std::span<const std::string_view> stopPrefixes) {
  if (openMode_ != TextFileMode::kReading) return;
  if (!target) return reader_.CopyLinesTo(nullptr, stopPrefixes);
  if (target->openMode_ != TextFileMode::kWriting || target->writer_.WritesEachOperation()) return;
  reader_.CopyLinesTo(&target->writer_, stopPrefixes);
}

void TextLineFile::WatchLosses() {
  reader_.Watch();
}

uint64_t TextLineFile::LineNumber() const {
  return reader_.LineNumber();
}

TextLineFile::Losses TextLineFile::ReadLosses() {
  if (openMode_ != TextFileMode::kReading) return reader_.LossesNoted();
  return reader_.ReadLosses();
}

bool TextLineFile::AtEnd() {
  return !ReadyToRead() || reader_.AtEnd();
}

bool TextLineFile::InputEnded() const {
  return openMode_ == TextFileMode::kReading && reader_.InputEnded();
}

bool TextLineFile::FirstBlockHoldsNul() {
  return openMode_ == TextFileMode::kReading && reader_.FirstBlockHoldsNul();
}

bool TextLineFile::ReadyToWrite() {
  return ReadyFor(TextFileMode::kWriting, IsStandardWriter(), kFileNotOpenForWriting);
}

void TextLineFile::WriteText(std::string_view text) {
  Write(text, std::string_view());
}

void TextLineFile::WriteTextLine(std::string_view text) {
  Write(text, writer_.LineEndBytes());
}

void TextLineFile::Write(std::string_view text, std::string_view lineEnd) {
  if (ReadyToWrite() && writer_.Append(text)) writer_.Append(lineEnd);
  if (openMode_ == TextFileMode::kClosed) {
    if (!IsStandardWriter()) RecordFailure(kFileNotOpen);
  } else if (openMode_ == TextFileMode::kWriting && writer_.WritesEachOperation()) {
    writer_.Flush();
  }
}

void TextLineFile::MoveInBlocks() {
  if (openMode_ != TextFileMode::kWriting) return;
  writer_.MoveInBlocks();
  // A pipe of two blocks lets its reader take one while the next is made; with the usual
  // 64 KB, writer and reader took turns, and a merge into `| cat` ran half as fast.
  if (onPipe_) platform::LetPipeHold(handle_, 2 * kDiskBlockBytes);
}

void TextLineFile::FlushOutput() {
  if (openMode_ == TextFileMode::kWriting) {
    writer_.Flush();
  } else if (openMode_ == TextFileMode::kClosed && !IsStandardWriter()) {
    RecordFailure(kFileNotOpen);
  }
}

TextLineFile& StandardInput() {
  static TextLineFile file(TextLineFile::Role::kStandardInput);
  return file;
}

TextLineFile& StandardOutput() {
  static TextLineFile file(TextLineFile::Role::kStandardOutput);
  return file;
}

TextLineFile& StandardError() {
  static TextLineFile file(TextLineFile::Role::kStandardError);
  return file;
}

int32_t CloseStandardFiles() {
  StandardInput().CloseFile();
  TakeFailureCode();
  bool writing = StandardOutput().Mode() == TextFileMode::kWriting;
  StandardOutput().CloseFile();
  int32_t code = TakeFailureCode();
  return writing ? code : 0;
}

}  // namespace quillpack
