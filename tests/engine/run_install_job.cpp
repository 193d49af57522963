// run_install_job CODEBASE CLSID NEEDVERSION: one whole install job in a
// process of its own; the exit code is the job's result code.
#include "install_worker.h"

int main(int argc, char** argv) {
  if (argc != 4) return COMMON_INVALID_PARAM;
  return RunInstallWorker(argv[1], argv[2], argv[3], nullptr);
}
