// Writes its working directory and arguments, one per line, to the file named by
// RECORD_ARGV_OUT, so tests can see exactly how a launched program was started.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
  const char* out = std::getenv("RECORD_ARGV_OUT");
  if (!out) return 2;
  FILE* f = std::fopen(out, "w");
  if (!f) return 3;
  char cwd[4096];
  std::fprintf(f, "cwd=%s\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
  std::fprintf(f, "argc=%d\n", argc);
  for (int i = 0; i < argc; ++i) std::fprintf(f, "argv[%d]=%s\n", i, argv[i]);
  std::fprintf(f, "stdin_tty=%d sid_is_pid=%d\n", isatty(0), getsid(0) == getpid());
  std::fclose(f);
  return 0;
}
