// Writes its working directory and arguments, one per line, to the file named by
// RECORD_ARGV_OUT, so tests can see exactly how a launched program was started.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

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
  // The session and where stdin leads, for checks that a launch is detached from its parent.
  char in[4096];
  const ssize_t n = readlink("/proc/self/fd/0", in, sizeof in - 1);
  in[n > 0 ? n : 0] = '\0';
  std::fprintf(f, "sid=%d\nstdin=%s\n", static_cast<int>(getsid(0)), in);
  std::fclose(f);
  return 0;
}
