// pagewright-cli: reads, programs and edits codeplugs from a shell.
#include <cstdio>

int main(int argc, char** argv) {
  (void)argv;
  if (argc < 2) {
    std::fprintf(stderr, "usage: pagewright-cli read|program|show|set ...\n");
    return 2;
  }
  std::fprintf(stderr, "pagewright-cli: command not available yet\n");
  return 2;
}
