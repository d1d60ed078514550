#include "files/path_names.h"

#include <cstddef>

namespace quillpack {
namespace {

constexpr std::string_view kWindowsDelimiters = "\\:";
constexpr std::string_view kPosixDelimiters = "/";

int32_t LengthOf(std::string_view value) {
  return static_cast<int32_t>(value.size());
}

// The byte at a 1-based position that the caller has checked to lie within `value`.
unsigned char ByteAt(std::string_view value, int32_t position) {
  return static_cast<unsigned char>(value[static_cast<std::size_t>(position) - 1]);
}

// A NUL byte ends a text for the platform, so it never cuts a path.
bool IsOneOf(std::string_view delimiters, unsigned char byte) {
  return byte != 0 && delimiters.find(static_cast<char>(byte)) != std::string_view::npos;
}

bool IsLeadByte(const PathRules& rules, unsigned char byte) {
  return rules.leadBytes.test(byte);
}

}  // namespace

PathRules WindowsPathRules(const platform::LeadByteSet& leadBytes) {
  return PathRules{kWindowsDelimiters,
                   '\\',
                   leadBytes,
                   leadBytes.any(),
                   "\\/",
                   true,
                   platform::CaseRule::kIgnoreCase};
}

PathRules PosixPathRules() {
  return PathRules{kPosixDelimiters, '/', {}, false, "/", false, platform::CaseRule::kSensitive};
}

const PathRules& HostPathRules() {
  static const PathRules rules = platform::kHostSystem == platform::HostSystem::kWindows
                                     ? WindowsPathRules(platform::AnsiLeadBytes())
                                     : PosixPathRules();
  return rules;
}

ByteKind ByteKindAt(std::string_view value, int32_t position, const PathRules& rules) {
  if (!rules.multiByteActive) return ByteKind::kSingle;
  // Past the end reads as the terminating NUL; further out there is nothing to be part of.
  if (position < 1 || position > LengthOf(value)) return ByteKind::kSingle;
  unsigned char byte = ByteAt(value, position);
  if (byte == 0) return ByteKind::kSingle;
  // Only the run of lead bytes just before says how the pairs fall; an odd run leaves one
  // lead byte open, which this byte completes.
  int32_t leadRun = 0;
  for (int32_t i = position - 1; i >= 1 && IsLeadByte(rules, ByteAt(value, i)); --i)
    ++leadRun;
  if (leadRun % 2 == 1) return ByteKind::kTrail;
  return IsLeadByte(rules, byte) ? ByteKind::kLead : ByteKind::kSingle;
}

int32_t LastDelimiterPosition(std::string_view delimiters, std::string_view value,
                              const PathRules& rules) {
  for (int32_t i = LengthOf(value); i > 0; --i) {
    if (!IsOneOf(delimiters, ByteAt(value, i))) continue;
    if (ByteKindAt(value, i, rules) != ByteKind::kTrail) return i;
    // The lead byte belongs to the same character, so it cannot be a delimiter either.
    --i;
  }
  return 0;
}

bool IsDelimiterAt(std::string_view delimiters, std::string_view value, int32_t position,
                   const PathRules& rules) {
  if (position < 1 || position > LengthOf(value)) return false;
  if (ByteKindAt(value, position, rules) != ByteKind::kSingle) return false;
  return IsOneOf(delimiters, ByteAt(value, position));
}

bool IsPathDelimiterAt(std::string_view value, int32_t position, const PathRules& rules) {
  if (position < 1 || position > LengthOf(value)) return false;
  if (ByteAt(value, position) != static_cast<unsigned char>(rules.pathDelimiter)) return false;
  return ByteKindAt(value, position, rules) == ByteKind::kSingle;
}

std::string DirectoryPartOf(std::string_view path, const PathRules& rules) {
  int32_t last = LastDelimiterPosition(rules.delimiters, path, rules);
  return std::string(path.substr(0, static_cast<std::size_t>(last)));
}

std::string DirectoryOf(std::string_view path, const PathRules& rules) {
  int32_t last = LastDelimiterPosition(rules.delimiters, path, rules);
  // A root ("\", "C:\") or a doubled delimiter keeps its final delimiter.
  if (last > 1 && ByteAt(path, last) == static_cast<unsigned char>(rules.pathDelimiter) &&
      !IsDelimiterAt(rules.delimiters, path, last - 1, rules)) {
    --last;
  }
  return std::string(path.substr(0, static_cast<std::size_t>(last)));
}

std::string WithTrailingDelimiter(std::string_view path, const PathRules& rules) {
  std::string result(path);
  if (!IsPathDelimiterAt(path, LengthOf(path), rules)) result += rules.pathDelimiter;
  return result;
}

std::string FullPathOf(std::string_view name) {
  return platform::FullPathName(std::string(name));
}

std::string CurrentDirectory() {
  return platform::CurrentDirectoryName();
}

}  // namespace quillpack
