// run_install_job CODEBASE CLSID NEEDVERSION: one whole install job in a
// process of its own; the exit code is the job's result code, and
// "result N" on standard output carries it whole for callers outside Wine,
// which see only the exit code's low 8 bits.
#include <cstdio>

#include "install_worker.h"

int main(int argc, char** argv) {
  if (argc != 4) return COMMON_INVALID_PARAM;
  ResultCode result = RunInstallWorker(argv[1], argv[2], argv[3], nullptr);
  printf("result %d\n", static_cast<int>(result));
  return result;
}
