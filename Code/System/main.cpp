// The game's entry point.
#include <cstdio>

int main() {
  std::printf("Grindlow: three-lane action game on the Corvane engine. Engine foundations only so far.\n");
  return 0;
}
