// Prints one line and exits 0: the scripts ask whether this tree's programs run under the Wine at
// hand by running it and reading that line (a loader that cannot run it prints something else).
#include <cstdio>

int main() {
  std::printf("wine probe: a %d-bit Windows program ran\n", static_cast<int>(sizeof(void*) * 8));
  return 0;
}
