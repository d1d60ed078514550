// The steps of the text line files as the tool's operations take them: each step is done,
// then checked, and a recorded failure is raised at once as EInOutError (CheckFileFailure
// in failure_codes.h). CheckedX does what the TextLineFile operation X does, but for two
// whose names are shorter: CheckedClose is CloseFile, CheckedCopyLines is CopyLinesTo.

#ifndef QUILLPACK_TEXT_CHECKED_STEPS_H_
#define QUILLPACK_TEXT_CHECKED_STEPS_H_

#include <span>
#include <string>
#include <string_view>

#include "text/line_files.h"

namespace quillpack {

void CheckedOpenForReading(TextLineFile& file);
// Opens as OpenForReadingIn, but hands a failure's code back (0 for none) instead of
// raising it, for a caller that first tells what the failure means; CheckedPlatformStep
// raises it then.
int32_t TryOpenForReadingIn(TextLineFile& file, const platform::Directory& directory,
                            const std::string& name, platform::OpenedFile* opened);
void CheckedOpenForWriting(TextLineFile& file);
bool CheckedAtEnd(TextLineFile& file);
std::string_view CheckedReadTextLineView(TextLineFile& file, std::string* scratch);
void CheckedReadTextLineInto(TextLineFile& file, LineSink& sink);
void CheckedCopyLines(TextLineFile& from, TextLineFile* to,
                      std::span<const std::string_view> stopPrefixes = {});
void CheckedWriteText(TextLineFile& file, std::string_view text);
void CheckedWriteTextLine(TextLineFile& file, std::string_view text);
void CheckedClose(TextLineFile& file);
platform::FileStamp CheckedCurrentStamp(TextLineFile& file);
bool CheckedFirstBlockHoldsNul(TextLineFile& file);

// A step the caller took on the platform itself: a code other than 0 is raised.
void CheckedPlatformStep(int32_t code);

}  // namespace quillpack

#endif  // QUILLPACK_TEXT_CHECKED_STEPS_H_
