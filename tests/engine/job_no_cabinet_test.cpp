// A job on a system whose cabinet library cannot be loaded (the test runs
// with Cabinet.dll disabled): the extraction cannot open the package.
#include <windows.h>

#include "install_test_support.h"
#include "install_worker.h"

namespace {

// A downloaded-controls folder of each test's own: no test relies on one
// that an earlier test program set.
class JobWithoutCabinetLibraryTest : public InstallJobTest {};

TEST_F(JobWithoutCabinetLibraryTest, ExtractionCannotOpenThePackage) {
  CRecordingListener listener;
  const std::string codebase = CodebaseFor("main4");
  EXPECT_EQ(DLL_CANT_OPEN_EXTRACTFILE,
            RunInstallWorker(kMainClsid, codebase.c_str(), "1.0.0.4", &listener));
  EXPECT_FALSE(WorkFolderExists());
  const int64_t size = ServedFileSize("pkgs/install/main4.cab");
  EXPECT_EQ((std::vector<std::string>{"OnInitSetup", "OnPrepareDownload",
                                      "OnStartDownload(" + std::to_string(size) + ")",
                                      "OnDownloadComplete", "OnPrepareExtract"}),
            listener.events);
}

}  // namespace
