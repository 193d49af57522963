// Whole installs through the engine's export with the wizard on screen,
// against the package server, answered by a player on a second thread.
#include <windows.h>

#include <vector>

#include "agent_clsid.h"
#include "install_test_support.h"
#include "ui_driver.h"

namespace {

typedef ResultCode(__cdecl* InstallActiveXProc)(const GUID*, const char*, const char*,
                                                 const char*);

class InstallWizardTest : public InstallJobTest {
 protected:
  void SetUp() override {
    InstallJobTest::SetUp();
    engine_ = LoadLibraryA(OV_ENGINE_DLL);
    ASSERT_NE(engine_, nullptr);
    install_ = reinterpret_cast<InstallActiveXProc>(
        reinterpret_cast<void*>(GetProcAddress(engine_, "InstallActiveX")));
    ASSERT_NE(install_, nullptr);
    done_ = false;
  }
  void TearDown() override { FreeLibrary(engine_); }

  ResultCode Install(const std::string& codebase) {
    ResultCode result = install_(&kAgentClsid, kMainClsid, codebase.c_str(), "1.0.0.4");
    done_ = true;
    return result;
  }
  // Answers every message box until the install has returned; their texts.
  std::vector<std::wstring> AnswerBoxesUntilDone() { return AnswerBoxesUntil(done_, IDOK); }

  HMODULE engine_ = nullptr;
  InstallActiveXProc install_ = nullptr;
  std::atomic<bool> done_{false};
};

// A Yes ends the install at once, whether the server is slow or has
// stopped sending altogether.
TEST_F(InstallWizardTest, CancelDuringADownloadEndsSilentlyAtOnceAndLeavesNoWorkFiles) {
  // 4 MB at 100 ms per 8 KiB: close to a minute unless cancelled; or a
  // server silent after 10000 bytes, which only the time-out would end.
  for (const char* path : {"slow/100/gen/4000000/pkg.cab", "stall/2/10000/gen/4000000/pkg.cab"}) {
    done_ = false;
    std::vector<std::wstring> boxes;
    std::wstring question;
    ULONGLONG answeredAt = 0;
    const std::string tag = "tag/" + std::to_string(GetTickCount64()) + "/";
    CDriverThread driver([&] {
      HWND wizard = WaitFor(&FindSetupWindow, 20000);
      ASSERT_NE(wizard, nullptr);
      // Into the download: the server has had the size probe and the
      // request for the package itself.
      for (int i = 0; i < 1000 && CountRequests(tag) < 2; ++i) Sleep(20);
      ASSERT_GE(CountRequests(tag), 2) << "no download under way";
      MouseMoveTo(ClientToScreenPoint(wizard, 285, 10));
      MouseDown();
      MouseUp();
      HWND box = WaitFor(&FindSetupMessageBox, 5000);
      ASSERT_NE(box, nullptr);
      question = MessageBoxText(box);
      answeredAt = GetTickCount64();
      AnswerBox(box, IDYES);
      boxes = AnswerBoxesUntilDone();
    });
    EXPECT_EQ(Install(ServerUrl(tag + path)), DLL_USERCANCEL) << path;
    const ULONGLONG returnedAt = GetTickCount64();
    driver.Join();
    EXPECT_LT(returnedAt - answeredAt, 2000u) << path;
    EXPECT_EQ(question, ExpectedTexts().cancelQuestion) << path;
    EXPECT_TRUE(boxes.empty()) << path;
    EXPECT_FALSE(WorkFolderExists()) << path;
  }
}

// The browser's thread quitting while the wizard shows a stalled
// download: the modal loop destroys the window, which cancels the job; it
// ends at once, silently, and leaves no work files. The next install on the
// same thread runs as usual.
TEST_F(InstallWizardTest, WindowDestroyedDuringAStalledDownloadEndsTheJobAtOnce) {
  const std::string tag = "tag/" + std::to_string(GetTickCount64()) + "/";
  const DWORD installThread = GetCurrentThreadId();
  ULONGLONG quitAt = 0;
  CDriverThread driver([&] {
    ASSERT_NE(WaitFor(&FindSetupWindow, 20000), nullptr);
    for (int i = 0; i < 1000 && CountRequests(tag) < 2; ++i) Sleep(20);
    ASSERT_GE(CountRequests(tag), 2) << "no download under way";
    quitAt = GetTickCount64();
    PostThreadMessageA(installThread, WM_QUIT, 0, 0);
  });
  EXPECT_EQ(Install(ServerUrl(tag + "stall/2/10000/gen/4000000/pkg.cab")), DLL_USERCANCEL);
  const ULONGLONG returnedAt = GetTickCount64();
  driver.Join();
  EXPECT_LT(returnedAt - quitAt, 2000u);
  EXPECT_FALSE(WorkFolderExists());
  MSG quit;
  EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

  done_ = false;
  std::vector<std::wstring> boxes;
  CDriverThread answers([&] { boxes = AnswerBoxesUntilDone(); });
  EXPECT_EQ(Install(CodebaseFor("main4")), SUCCESS);
  answers.Join();
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, DistributionUnitPath(kMainClsid)));
}

TEST_F(InstallWizardTest, CancelAnsweredNoLetsTheInstallComplete) {
  std::vector<std::wstring> boxes;
  bool asked = false;
  CDriverThread driver([&] {
    HWND wizard = WaitFor(&FindSetupWindow, 20000);
    ASSERT_NE(wizard, nullptr);
    BringToFront(wizard);
    TypeKey(VK_ESCAPE);
    HWND box = WaitFor(&FindSetupMessageBox, 5000);
    asked = box != nullptr;
    if (box != nullptr) AnswerBox(box, IDNO);
    boxes = AnswerBoxesUntilDone();
  });
  EXPECT_EQ(Install(CodebaseFor("main4", "slow/150/")), SUCCESS);
  driver.Join();
  EXPECT_TRUE(asked);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, DistributionUnitPath(kMainClsid)));
  EXPECT_FALSE(WorkFolderExists());
}

TEST_F(InstallWizardTest, FailedInstallShowsOneMessageThenReturnsItsCode) {
  const SetupTexts& texts = ExpectedTexts();
  struct Case {
    std::string codebase;
    ResultCode code;
    std::wstring message;
  } cases[] = {
      {"http://cdn.example.com/pkg.cab", DLL_INVALID_DOMAIN,
       texts.failed + L"\r\n(ErrorCode : DLL_INVALID_DOMAIN)\r\n\r\n" + texts.reasonLabel +
           (texts.korean ? FromUtf8("잘못된 패키지 파일입니다.") : L"Invalid package file.")},
      {CodebaseFor("main4", "status/404/"), DLL_CANT_GETFILESIZE,
       texts.failed + L"\r\n(ErrorCode : DLL_CANT_GETFILESIZE)\r\n\r\n" + texts.reasonLabel +
           texts.downloadFailed},
  };
  for (const Case& c : cases) {
    done_ = false;
    std::vector<std::wstring> boxes;
    CDriverThread driver([&] { boxes = AnswerBoxesUntilDone(); });
    EXPECT_EQ(Install(c.codebase), c.code) << c.codebase;
    driver.Join();
    ASSERT_EQ(boxes.size(), 1u) << c.codebase;
    EXPECT_EQ(boxes[0], c.message) << c.codebase;
    EXPECT_FALSE(WorkFolderExists());
  }
}

TEST_F(InstallWizardTest, MissingArgumentsAreRefusedBeforeAnyWindow) {
  EXPECT_EQ(install_(&kAgentClsid, nullptr, "http://cdn.ovelin.net/a.cab", nullptr),
            COMMON_INVALID_PARAM);
  EXPECT_EQ(install_(&kAgentClsid, kMainClsid, nullptr, nullptr), COMMON_INVALID_PARAM);
  EXPECT_EQ(FindSetupWindow(), nullptr);
}

}  // namespace
