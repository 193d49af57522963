// Setup information files, good and faulty, read by whole install jobs.
#include <windows.h>

#include "install_package.h"
#include "install_test_support.h"

namespace {

struct SetupInfoCase {
  const char* package;
  const char* clsid;
  const char* needVersion;
  ResultCode expected;
};

void PrintTo(const SetupInfoCase& c, std::ostream* out) { *out << c.package; }

class SetupInfoTest : public InstallJobTest,
                      public ::testing::WithParamInterface<SetupInfoCase> {};

// Every fault is found before anything is removed or copied: the control
// installed first stays exactly as it was.
TEST_P(SetupInfoTest, FaultyFileEndsTheJobBeforeAnythingChanges) {
  const SetupInfoCase& c = GetParam();
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  CRecordingListener listener;
  EXPECT_EQ(c.expected, RunJob(c.package, &listener, c.clsid, c.needVersion));
  EXPECT_EQ(std::vector<std::string>(), listener.InstallEvents());
  EXPECT_EQ(CachePath("OVSample.dll"),
            ReadString(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid), ""));
  EXPECT_TRUE(FileExists(CachePath("OVSample.dll")));
  EXPECT_EQ("1,0,0,4", ReadString(HKEY_LOCAL_MACHINE,
                                  DistributionUnitPath(kMainClsid) + "\\InstalledVersion", ""));
  EXPECT_EQ(1u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, CachePath("OVHelper.dll").c_str()));
  EXPECT_FALSE(FileExists("C:\\OVSample.dll"));
  EXPECT_FALSE(FileExists(cacheFolder_ + "\\..\\OVSample.dll"));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SetupInfoTest,
    ::testing::Values(
        SetupInfoCase{"inf_no_addcode", kMainClsid, "1.0.0.4", DLL_LOADINF_CANT_FIND_ADDCODE},
        SetupInfoCase{"inf_empty_addcode", kMainClsid, "1.0.0.4", DLL_LOADINF_CANT_FIND_ADDCODE},
        SetupInfoCase{"inf_name_parent", kMainClsid, "1.0.0.4", DLL_LOADINF_CANT_GET_FULLSRCFILE},
        SetupInfoCase{"inf_name_deep_parent", kMainClsid, "1.0.0.4",
                      DLL_LOADINF_CANT_GET_FULLSRCFILE},
        SetupInfoCase{"inf_name_drive", kMainClsid, "1.0.0.4", DLL_LOADINF_CANT_GET_FULLSRCFILE},
        SetupInfoCase{"inf_name_rooted", kMainClsid, "1.0.0.4", DLL_LOADINF_CANT_GET_FULLSRCFILE},
        SetupInfoCase{"inf_hook", kMainClsid, "1.0.0.4", DLL_LOADINF_NOT_IMPLEMENT},
        SetupInfoCase{"inf_url", kMainClsid, "1.0.0.4", DLL_LOADINF_NOT_IMPLEMENT},
        SetupInfoCase{"inf_duplicate", kMainClsid, "1.0.0.4", DLL_LOADINF_ITEM_DUPLICATED},
        SetupInfoCase{"inf_none", kMainClsid, "1.0.0.4", DLL_LOADINF_MISSING_INFFILE},
        SetupInfoCase{"inf_src_missing", kMainClsid, "1.0.0.4", DLL_LOADINF_MISSING_SRCPATH},
        SetupInfoCase{"inf_src_empty", kMainClsid, "1.0.0.4", DLL_LOADINF_MISSING_SRCPATH},
        SetupInfoCase{"inf_file_missing", kMainClsid, "1.0.0.4", DLL_LOADINF_MISSING_FILE},
        SetupInfoCase{"inf_dest_12", kMainClsid, "1.0.0.4", DLL_LOADINF_INVALID_DESTINFO},
        SetupInfoCase{"inf_dest_x", kMainClsid, "1.0.0.4", DLL_LOADINF_INVALID_DESTINFO},
        SetupInfoCase{"inf_no_main", kMainClsid, "1.0.0.4", DLL_LOADINF_NOTEXISTS_ACTIVEXDLL},
        SetupInfoCase{"inf_no_items", kMainClsid, "1.0.0.4", DLL_LOADINF_NOTEXISTS_ACTIVEXDLL},
        // Declared 1,0,0,3 although the file carries 1.0.0.5.
        SetupInfoCase{"inf_declared_old", kMainClsid, "1.0.0.4", DLL_LOADINF_NOTMATCH_NEEDVERSION},
        // No version resource fails even without a needed version.
        SetupInfoCase{"inf_no_resource", kNoVersionClsid, "", DLL_LOADINF_NOTMATCH_NEEDVERSION},
        SetupInfoCase{"main4", kMainClsid, "1.0.0.5", DLL_LOADINF_NOTMATCH_NEEDVERSION}));

TEST_F(InstallJobTest, OfTwoSetupInformationFilesTheFirstByNameIsRead) {
  ASSERT_EQ(SUCCESS, RunJob("twoinfs"));
  EXPECT_EQ(CachePath("a_good.INF"),
            ReadString(HKEY_LOCAL_MACHINE, DistributionUnitPath(kMainClsid) + "\\DownloadInformation",
                       "INF"));
  EXPECT_FALSE(FileExists(CachePath("B_bad.inf")));
}

TEST_F(InstallJobTest, EmptyHookIsAllowed) { EXPECT_EQ(SUCCESS, RunJob("emptyhook")); }

TEST(InstallPackageTest, ReadingNeedsAnExtractionFolderAndACodebase) {
  CInstallPackage package;
  EXPECT_EQ(DLL_LOADINF_NOT_INITED, package.LoadSetupInfo());
  EXPECT_EQ(DLL_LOADINF_NOT_INITED, package.ReadSetupInfo("C:\\setup.inf"));
  package.Init(nullptr, "C:\\x_Extract", kMainClsid, "", "", 0);
  EXPECT_FALSE(package.ready());
  EXPECT_EQ(DLL_LOADINF_NOT_INITED, package.LoadSetupInfo());
  EXPECT_EQ(COMMON_INVALID_PARAM, package.ReadSetupInfo(nullptr));
}

// Item names come from a signed but otherwise untrusted package.
TEST(InstallPackageTest, SourcePathsStayInsideTheExtractionFolder) {
  CInstallPackage package;
  package.Init(nullptr, "C:\\x_Extract\\", kMainClsid, "http://cdn.example/x.cab", "", 0);
  EXPECT_TRUE(package.ready());
  std::string path;
  ASSERT_TRUE(package.GetSourcePath("sub\\a.dll", path));
  EXPECT_EQ("C:\\x_Extract\\sub\\a.dll", path);
  for (const char* name : {"a..dll", ".hidden", "sub\\.\\a", "..a"})
    EXPECT_TRUE(package.GetSourcePath(name, path)) << name;
  for (const char* name : {"..", "a\\..\\..\\b", "/a", "\\a", "C:a", "a.dll:stream", "x/../../y",
                           "...\\a", ".. \\a", "sub\\. .\\a"})
    EXPECT_FALSE(package.GetSourcePath(name, path)) << name;
}

}  // namespace
