// The line reader against a plain byte-at-a-time model of the line rules: LF or CR LF
// ends a line, any other CR is dropped, Ctrl-Z ends the input. The input is placed so
// that it crosses the edges of the 128-byte transfers and of the larger disk blocks, and
// it is read both as a named disk file and through standard input. The bulk copy writes
// CR LF or LF line ends, at a level of the scan the pattern picks, and may take the
// input several times over, so that its 64-byte blocks see many lines.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "failures/failure_codes.h"
#include "support/line_model.h"
#include "text/line_files.h"
#include "text/line_scan.h"

namespace {

using quillpack::TextLineFile;
using quillpack::test_support::ModelLines;

const std::string& ScratchFile() {
  static const std::string path =
      (std::filesystem::temp_directory_path() /
       ("quillpack-fuzz-lines-" + std::to_string(std::random_device()())))
          .string();
  return path;
}

// A padding line that puts the input just before one of the buffer edges.
std::string Padding(uint8_t selector) {
  std::size_t offset = selector & 0x3F;
  std::size_t edge = (selector & 0x40) ? quillpack::kDiskBlockBytes : quillpack::kTransferBytes;
  if (selector & 0x80) return std::string();
  return std::string(edge - 1 - offset, 'p') + "\n";
}

std::vector<std::string> ReadAll(TextLineFile& file, uint8_t pattern) {
  std::vector<std::string> lines;
  std::string scratch;
  for (;;) {
    if (file.AtEnd()) break;
    if (pattern & 1) file.AtEnd();  // asking twice must not consume anything
    if (pattern & 2) {
      lines.emplace_back(file.ReadTextLineView(&scratch));
    } else {
      lines.push_back(file.ReadTextLine());
    }
  }
  // Past the end: empty lines at once, however often.
  if (!file.ReadTextLine().empty() || !file.AtEnd() || !file.InputEnded()) std::abort();
  return lines;
}

std::string ReadBack(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsStopLine(std::string_view line) {
  return line.starts_with(">>>>>>>>>>") || line.starts_with("./");
}

// The bulk copy, with the caller taking each line it leaves, must write every line with
// the line end asked for exactly as the model splits them, and leave to the caller every
// line that the model reads as beginning with a stop prefix.
void CheckBulkCopy(const std::vector<std::string>& expected, uint8_t pattern) {
  std::string_view lineEnd = pattern & 8 ? "\n" : "\r\n";
  static const std::string_view kStops[] = {">>>>>>>>>>", "./"};
  std::span<const std::string_view> stops;
  if (pattern & 4) stops = kStops;
  std::string copyName = ScratchFile() + ".copy";
  TextLineFile source;
  TextLineFile copy;
  source.AssignName(ScratchFile());
  source.OpenForReading();
  copy.SetLineEnd(pattern & 8 ? quillpack::LineEnd::kLf : quillpack::LineEnd::kCrLf);
  copy.AssignName(copyName);
  copy.OpenForWriting();
  std::size_t stopLinesTaken = 0;
  for (;;) {
    source.CopyLinesTo(&copy, stops);
    if (source.AtEnd()) break;
    std::string line = source.ReadTextLine();
    stopLinesTaken += IsStopLine(line);
    copy.WriteTextLine(line);
  }
  source.CloseFile();
  copy.CloseFile();
  std::string joined;
  for (const std::string& line : expected)
    joined += line + std::string(lineEnd);
  if (ReadBack(copyName) != joined) std::abort();
  if (!stops.empty() && stopLinesTaken != static_cast<std::size_t>(std::count_if(
                                              expected.begin(), expected.end(), IsStopLine))) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  uint8_t selector = data[0];
  uint8_t pattern = data[1];
  std::string bytes = Padding(selector);
  for (int times = pattern & 0x40 ? 8 : 1; times > 0; --times)
    bytes.append(reinterpret_cast<const char*>(data + 2), size - 2);
  auto level = static_cast<quillpack::ScanLevel>((pattern >> 4) & 3);
  quillpack::UseScanLevel(std::min(level, quillpack::BestScanLevel()));
  {
    std::ofstream out(ScratchFile(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<std::string> expected = ModelLines(bytes);

  TextLineFile named;
  named.AssignName(ScratchFile());
  named.OpenForReading();
  if (ReadAll(named, pattern) != expected) std::abort();
  named.CloseFile();
  CheckBulkCopy(expected, pattern);

  // Standard input moves 128 bytes a transfer.
  if (!std::freopen(ScratchFile().c_str(), "rb", stdin)) std::abort();
  TextLineFile standard;
  standard.AssignName("");
  standard.OpenForReading();
  if (ReadAll(standard, pattern) != expected) std::abort();
  if (quillpack::TakeFailureCode() != 0) std::abort();
  return 0;
}
