// Every progress call of a job as the status line and the bar show it,
// watched from inside the job while the window runs.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "setup_dlg.h"
#include "ui_driver.h"

namespace {

struct Seen {
  std::wstring status;
  int64_t position;
  int64_t range;
};
std::vector<Seen> gSeen;
const CSetupDlg* gDialog = nullptr;  // the window the running job reports to

void Record(IInstallProgress*) {
  gSeen.push_back({Widen(gDialog->GetStatusText()), gDialog->GetProgressBar().GetPos64(),
                   gDialog->GetProgressBar().GetRange64()});
}

// A whole successful job: a 1000-byte package in two chunks, two files of
// 300 bytes extracted, two items plus the setup information installed.
// It waits for another job first.
ResultCode WholeJob(const char*, const char*, const char*, IInstallProgress* l, HANDLE) {
  l->OnWaitForOtherInstall(), Record(l);
  l->OnInitSetup(), Record(l);
  l->OnPrepareDownload(), Record(l);
  l->OnStartDownload(1000), Record(l);
  l->OnDownloadProgress(600), Record(l);
  l->OnDownloadProgress(400), Record(l);
  l->OnDownloadComplete(), Record(l);
  l->OnPrepareExtract(), Record(l);
  l->OnStartExtract(2, 600), Record(l);
  l->OnExtractFile("a.dll"), Record(l);
  l->OnExtractProgress(300), Record(l);
  l->OnExtractFile("a.inf"), Record(l);
  l->OnExtractProgress(300), Record(l);
  l->OnExtractComplete(), Record(l);
  l->OnRemoveOldVersion(), Record(l);
  l->OnStartInstall(3), Record(l);
  for (const char* name : {"a.inf", "a.dll", "b.dll"}) {
    l->OnInstallFile(name), Record(l);
    l->OnInstallFileDone(), Record(l);
  }
  l->OnWriteRegistry(), Record(l);
  return l->IsCancelled() ? DLL_USERCANCEL : SUCCESS;
}

std::wstring Format(const std::wstring& format, int a, int b) {
  wchar_t text[256];
  swprintf(text, 256, format.c_str(), a, b);
  return text;
}

std::wstring Text(const char* english, const char* korean) {
  return ExpectedTexts().korean ? FromUtf8(korean) : FromUtf8(english);
}

TEST(StatusLine, EveryProgressCallShowsItsLineAndMovesTheBar) {
  gSeen.clear();
  CSetupDlg dialog(&WholeJob);
  gDialog = &dialog;
  ASSERT_EQ(dialog.RunSetup("{x}", "http://cdn.ovelin.net/a.cab", nullptr), SUCCESS);

  const SetupTexts& t = ExpectedTexts();
  const std::wstring downloading = Format(t.downloading, 0, 0);
  const std::wstring extractFormat = t.extracting, installFormat = t.installing;
  const std::vector<Seen> expected = {
      {Text("Waiting for another installation to finish…", "다른 설치가 끝나기를 기다리는 중입니다…"), 0, 100},
      {Text("Initializing setup...", "설치 초기화중..."), 0, 100},
      {Text("Preparing to download", "다운로드 준비중..."), 0, 100},
      {Text("Starting download", "다운로드를 시작합니다."), 0, 1000},
      // Whole kilobytes, rounded down: a package below 1024 bytes is 0/0.
      {downloading, 600, 1000},
      {downloading, 1000, 1000},
      {Text("Download complete.", "다운로드가 완료되었습니다."), 1000, 1000},
      {Text("Preparing to extract setup files.", "설치 파일 추출 준비중..."), 0, 1000},
      {Text("Preparing to extract setup files.", "설치 파일 추출 준비중..."), 0, 600},
      {Format(extractFormat, 1, 2), 0, 600},
      {Format(extractFormat, 1, 2), 300, 600},
      {Format(extractFormat, 2, 2), 300, 600},
      {Format(extractFormat, 2, 2), 600, 600},
      {Text("Extraction complete.", "설치 파일 추출이 완료되었습니다."), 600, 600},
      {Text("Deleting ActiveX...", "이전 버전의 ActiveX를 제거 중입니다..."), 600, 600},
      // The position is cleared before the new range is set.
      {Text("Starting installation.", "파일 설치를 시작합니다."), 0, 3},
      {Format(installFormat, 1, 3), 0, 3},
      {Format(installFormat, 1, 3), 1, 3},
      {Format(installFormat, 2, 3), 1, 3},
      {Format(installFormat, 2, 3), 2, 3},
      {Format(installFormat, 3, 3), 2, 3},
      {Format(installFormat, 3, 3), 3, 3},
      {Text("Writing Setup information to the registry...", "설치 정보를 레지스트리에 쓰는중..."), 3, 3},
  };
  ASSERT_EQ(gSeen.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(gSeen[i].status, expected[i].status) << "call " << i;
    EXPECT_EQ(gSeen[i].position, expected[i].position) << "call " << i;
    EXPECT_EQ(gSeen[i].range, expected[i].range) << "call " << i;
  }
}

TEST(StatusLine, DownloadProgressCountsWholeKilobytes) {
  static std::wstring seen;
  struct Job {
    static ResultCode Run(const char*, const char*, const char*, IInstallProgress* l, HANDLE) {
      l->OnStartDownload(5 * 1024 * 1024 + 1023);
      l->OnDownloadProgress(2047);
      seen = Widen(gDialog->GetStatusText());
      return SUCCESS;
    }
  };
  CSetupDlg dialog(&Job::Run);
  gDialog = &dialog;
  ASSERT_EQ(dialog.RunSetup("{x}", "http://cdn.ovelin.net/a.cab", ""), SUCCESS);
  EXPECT_EQ(seen, Format(ExpectedTexts().downloading, 1, 5120));
}

}  // namespace
