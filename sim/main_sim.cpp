// pagewright-sim: serves a simulated pager on a pseudo-terminal.
#include <cstdio>

int main() {
  std::fprintf(stderr, "pagewright-sim: not available yet\n");
  return 2;
}
