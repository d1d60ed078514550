// Test helper: another program that holds a file open for writing. It writes its second
// argument into the file named by its first, prints "held" once it holds the file, and
// keeps it open until its standard input ends.

#include <string>

#include "platform/platform.h"

namespace platform = quillpack::platform;

int main(int argc, char** argv) {
  platform::StartProcess(argc, argv);
  if (argc < 2) return 2;
  platform::OwnedHandle file;
  if (platform::CreateForWriting(argv[1], &file) != 0) return 1;
  std::string text = argc > 2 ? argv[2] : "";
  if (platform::WriteAll(file.get(), text.data(), text.size()) != 0) return 1;
  platform::WriteToStandardOutputHandle("held\n", 5);

  platform::Handle input = platform::kNoHandle;
  if (platform::GetStandardHandle(platform::StandardStream::kInput, &input) != 0) return 1;
  char buffer[64];
  std::size_t count = 0;
  while (platform::ReadSome(input, buffer, sizeof buffer, &count) == 0 && count > 0) {
  }
  return 0;
}
