// The two halves of a text line file on files of a test's own, opened as the line file
// opens a named disk file.

#ifndef QUILLPACK_SUPPORT_LINE_HALVES_H_
#define QUILLPACK_SUPPORT_LINE_HALVES_H_

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "text/line_reader.h"
#include "text/line_writer.h"

namespace quillpack::test_support {

// A reader of a file on the disk, filling its buffer as a pipe does (128 bytes a fill, to
// the read of 0 bytes) or as a named disk file does (blocks, to a short fill at the size).
class FileReader {
 public:
  FileReader(const std::string& path, std::size_t blockBytes) {
    uint64_t size = 0;
    EXPECT_EQ(platform::OpenExistingForReading(path, &handle_, nullptr, &size), 0) << path;
    InputEndRule rule =
        blockBytes == kTransferBytes ? InputEndRule::kEmptyRead : InputEndRule::kShortReadAtSize;
    reader.Start(handle_.get(), blockBytes, rule, size);
  }
  LineReader reader;

 private:
  platform::OwnedHandle handle_;
};

// A writer into a new file, moving blocks as a named disk file does, or 128-byte
// transfers as a pipe.
class FileWriter {
 public:
  explicit FileWriter(const std::string& path, std::size_t transferBytes = kDiskBlockBytes) {
    EXPECT_EQ(platform::CreateForWriting(path, &handle_), 0) << path;
    writer.Start(handle_.get(), transferBytes, WriteRule::kWhenFull);
  }
  ~FileWriter() { EXPECT_TRUE(writer.Flush()); }
  LineWriter writer;

 private:
  platform::OwnedHandle handle_;
};

}  // namespace quillpack::test_support

#endif  // QUILLPACK_SUPPORT_LINE_HALVES_H_
