// Test helper, POSIX only: a program racing an extract. By default it puts a fresh
// symbolic link to its first argument in place of its second, over and over, each time
// by renaming a link made beside it. With a third argument "hard" it instead adds a hard
// link to its first argument at its second and removes it again, over and over; with
// "toggle" it does the same with a symbolic link, so that the name is now free, now a link.
// It runs until it is killed and prints "swapping" once it has begun.

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace {

bool PutSymbolicLink(const char* target, const std::string& place) {
  std::string fresh = place + ".swap";
  unlink(fresh.c_str());
  return symlink(target, fresh.c_str()) == 0 && rename(fresh.c_str(), place.c_str()) == 0;
}

bool ToggleLink(const char* target, const std::string& place, bool hard) {
  bool linked = (hard ? link(target, place.c_str()) : symlink(target, place.c_str())) == 0;
  unlink(place.c_str());
  return linked;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) return 2;
  bool hard = argc == 4 && strcmp(argv[3], "hard") == 0;
  bool toggle = hard || (argc == 4 && strcmp(argv[3], "toggle") == 0);
  std::string place = argv[2];
  bool announced = false;
  for (;;) {
    bool done = toggle ? ToggleLink(argv[1], place, hard) : PutSymbolicLink(argv[1], place);
    if (done && !announced) {
      announced = true;
      fputs("swapping\n", stdout);
      fflush(stdout);
    }
  }
}
