// The engine's export as the control calls it: loaded by name, one call
// per install job. Only outcomes without an error box are run here; the
// window's own tests answer its boxes.
#include <windows.h>

#include "agent_clsid.h"
#include "install_test_support.h"

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

}  // namespace
