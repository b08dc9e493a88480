#include "common/console.hpp"

int main(int argc, char** argv) {
  (void)argv;
  if (argc < 3) {
    kelvo::report("--link required");
    return 2;
  }
  return 0;
}
