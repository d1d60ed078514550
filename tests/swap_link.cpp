// Test helper, POSIX only: a program racing an extract. It puts a fresh symbolic link to
// its first argument in place of its second, over and over, each time by renaming a link
// made beside it, until it is killed. It prints "swapping" once it has begun.

#include <stdio.h>
#include <unistd.h>

#include <string>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::string place = argv[2];
  std::string fresh = place + ".swap";
  bool announced = false;
  for (;;) {
    unlink(fresh.c_str());
    if (symlink(argv[1], fresh.c_str()) != 0 || rename(fresh.c_str(), place.c_str()) != 0) {
      continue;
    }
    if (!announced) {
      announced = true;
      fputs("swapping\n", stdout);
      fflush(stdout);
    }
  }
}
