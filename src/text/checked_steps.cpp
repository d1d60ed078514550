#include "text/checked_steps.h"

#include "failures/failure_codes.h"

namespace quillpack {

void CheckedOpenForReading(TextLineFile& file) {
  file.OpenForReading();
  CheckFileFailure();
}

int32_t TryOpenForReadingIn(TextLineFile& file, const platform::Directory& directory,
                            const std::string& name, platform::OpenedFile* opened) {
  file.OpenForReadingIn(directory, name, opened);
  return TakeFailureCode();
}

void CheckedOpenForWriting(TextLineFile& file) {
  file.OpenForWriting();
  CheckFileFailure();
}

bool CheckedAtEnd(TextLineFile& file) {
  bool atEnd = file.AtEnd();
  CheckFileFailure();
  return atEnd;
}

std::string_view CheckedReadTextLineView(TextLineFile& file, std::string* scratch) {
  std::string_view line = file.ReadTextLineView(scratch);
  CheckFileFailure();
  return line;
}

void CheckedReadTextLineInto(TextLineFile& file, LineSink& sink) {
  file.ReadTextLineInto(sink);
  CheckFileFailure();
}

void CheckedCopyLines(TextLineFile& from, TextLineFile* to,
                      std::span<const std::string_view> stopPrefixes) {
  from.CopyLinesTo(to, stopPrefixes);
  CheckFileFailure();
}

void CheckedWriteText(TextLineFile& file, std::string_view text) {
  file.WriteText(text);
  CheckFileFailure();
}

void CheckedWriteTextLine(TextLineFile& file, std::string_view text) {
  file.WriteTextLine(text);
  CheckFileFailure();
}

void CheckedClose(TextLineFile& file) {
  file.CloseFile();
  CheckFileFailure();
}

platform::FileStamp CheckedCurrentStamp(TextLineFile& file) {
  platform::FileStamp stamp = file.CurrentStamp();
  CheckFileFailure();
  return stamp;
}

bool CheckedFirstBlockHoldsNul(TextLineFile& file) {
  bool holdsNul = file.FirstBlockHoldsNul();
  CheckFileFailure();
  return holdsNul;
}

void CheckedPlatformStep(int32_t code) {
  RecordFailure(code);
  CheckFileFailure();
}

}  // namespace quillpack
