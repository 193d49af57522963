// The engine's export as the control calls it: loaded by name, one call
// per install job. Only outcomes without an error box are run here; the
// window's own tests answer its boxes.
#include <windows.h>

#include "agent_clsid.h"
#include "install_test_support.h"
#include "install_worker.h"
#include "test_thread.h"

namespace {

typedef ResultCode(__cdecl* InstallActiveXProc)(const GUID*, const char*, const char*, const char*);

class InstallActiveXTest : public InstallJobTest {
 protected:
  void SetUp() override {
    InstallJobTest::SetUp();
    // The build's engine, a host path that Wine reaches as Z:.
    engine_ = LoadLibraryA("Z:" OV_ENGINE_DLL);
    ASSERT_NE(nullptr, engine_);
    install_ = reinterpret_cast<InstallActiveXProc>(
        reinterpret_cast<void*>(GetProcAddress(engine_, "InstallActiveX")));
    ASSERT_NE(nullptr, install_);
  }
  void TearDown() override {
    if (engine_ != nullptr) FreeLibrary(engine_);
  }

  HMODULE engine_ = nullptr;
  InstallActiveXProc install_ = nullptr;
};

TEST_F(InstallActiveXTest, OnlyTheControlsClsidIsAcceptedAsCaller) {
  const std::string codebase = CodebaseFor("main4");
  EXPECT_EQ(DLL_ETC_INVALID_OWNERCLSID, install_(nullptr, kMainClsid, codebase.c_str(), ""));
  for (size_t i = 0; i < sizeof(GUID); ++i) {
    GUID caller = kAgentClsid;
    reinterpret_cast<unsigned char*>(&caller)[i] ^= 0x01;
    EXPECT_EQ(DLL_ETC_INVALID_OWNERCLSID, install_(&caller, kMainClsid, codebase.c_str(), ""))
        << "byte " << i;
  }
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DistributionUnitPath(kMainClsid)));
}

TEST_F(InstallActiveXTest, ClsidAndCodebaseAreRequired) {
  const std::string codebase = CodebaseFor("main4");
  EXPECT_EQ(COMMON_INVALID_PARAM, install_(&kAgentClsid, nullptr, codebase.c_str(), ""));
  EXPECT_EQ(COMMON_INVALID_PARAM, install_(&kAgentClsid, kMainClsid, nullptr, ""));
}

TEST_F(InstallActiveXTest, OneCallInstallsTheControl) {
  const std::string codebase = CodebaseFor("main4");
  // A null needed version needs no version, only a version resource.
  EXPECT_EQ(SUCCESS, install_(&kAgentClsid, kMainClsid, codebase.c_str(), nullptr));
  EXPECT_FALSE(WorkFolderExists());
  EXPECT_EQ(CachePath("OVSample.dll"), ReadString(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid), ""));
}

// A registration that never returns, and the host's thread quitting
// meanwhile (WM_QUIT in the window's modal loop): the call returns 5004
// after the window's bounded wait, and the host unloads the engine at
// once. The worker keeps the engine loaded and the jobs' lock held until
// its step ends: the next job waits for the lock, then undoes what the
// first left and installs.
TEST_F(InstallActiveXTest, HostGetsItsThreadBackFromAHungRegistration) {
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  HANDLE registering = CreateEventA(nullptr, TRUE, FALSE, "ov_register_waiting");
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "ov_register_release");
  const std::string hung = CodebaseFor("wait5");
  ResultCode first = DLL_UNKNOWN;
  TestThread host([&] { first = install_(&kAgentClsid, kMainClsid, hung.c_str(), "1.0.0.5"); });
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(registering, 60000));
  ASSERT_TRUE(PostThreadMessageA(GetThreadId(host.Handle()), WM_QUIT, 0, 0));
  host.Join();
  EXPECT_EQ(DLL_USERCANCEL, first);
  FreeLibrary(engine_);
  engine_ = nullptr;

  HANDLE waiting = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CRecordingListener listener;
  listener.waiting = waiting;
  ResultCode second = DLL_UNKNOWN;
  const std::string codebase = CodebaseFor("main5");
  TestThread next([&] {
    second = RunInstallWorker(kMainClsid, codebase.c_str(), "1.0.0.5", &listener);
  });
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(waiting, 60000)) << "the next job never waited";
  SetEvent(release);
  next.Join();
  EXPECT_EQ(SUCCESS, second);
  EXPECT_EQ("OnWaitForOtherInstall", listener.events.front());
  EXPECT_EQ("1.0.0.5", VersionOfCreatedControl(kMainClsid));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, InprocServerPath(kWaitClsid)));
  for (HANDLE event : {registering, release, waiting}) CloseHandle(event);
}

}  // namespace
