// The hidden name of a new file the tool writes beside the one it is for, before the new
// file takes that name; kept apart from the backends so that its tests run on every host.

#ifndef QUILLPACK_PLATFORM_TEMPORARY_NAME_H_
#define QUILLPACK_PLATFORM_TEMPORARY_NAME_H_

#include <cstdint>
#include <string>

namespace quillpack::platform {

// ".quillpack-" and eight lower-case hexadecimal digits drawn from every bit of `seed`:
// hidden, and recognisable as the tool's own to whoever finds one left by a power cut.
std::string TemporaryFileName(uint64_t seed);

// The seed of a name: the process, a moment on a clock with fine steps, and the attempt,
// so that names rarely meet; an exclusive create settles the rest.
uint64_t TemporaryNameSeed(uint64_t process, uint64_t moment, int attempt);

// A name taken by someone else is drawn again; this many takes in a row mean something
// other than chance is at work, and the create fails as on a name that exists.
inline constexpr int kTemporaryNameAttempts = 100;

}  // namespace quillpack::platform

#endif  // QUILLPACK_PLATFORM_TEMPORARY_NAME_H_
