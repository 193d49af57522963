// The engine module's texts in both string tables, read straight from the
// resources the way the platform's lookup finds them for each language.
#include <gtest/gtest.h>

#include <string>

#include "resource_module.h"
#include "ui_driver.h"

namespace {

// String id of the table in language, as UTF-16; empty when missing.
std::wstring TableString(UINT id, LANGID language) {
  HMODULE module = GetResourceModule();
  HRSRC found = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_STRING),
                                MAKEINTRESOURCEW(id / 16 + 1), language);
  if (found == nullptr) return L"";
  const WCHAR* entry = static_cast<const WCHAR*>(LockResource(LoadResource(module, found)));
  for (UINT i = 0; i < id % 16; ++i) entry += 1 + *entry;
  return std::wstring(entry + 1, *entry);
}

TEST(StringTables, EveryTextStandsExactlyInBothLanguages) {
  const char* texts[][2] = {
      {"Initializing setup...", "설치 초기화중..."},
      {"Preparing to download", "다운로드 준비중..."},
      {"Starting download", "다운로드를 시작합니다."},
      {"Downloading... ( %d/%d KB )", "다운로드중... ( %d/%d KB )"},
      {"Download complete.", "다운로드가 완료되었습니다."},
      {"Preparing to extract setup files.", "설치 파일 추출 준비중..."},
      {"Extracting ( %d/%d )", "설치 파일 추출중... ( %d/%d )"},
      {"Extraction complete.", "설치 파일 추출이 완료되었습니다."},
      {"Deleting ActiveX...", "이전 버전의 ActiveX를 제거 중입니다..."},
      {"Starting installation.", "파일 설치를 시작합니다."},
      {"Installing...( %d/%d )", "파일 설치중... ( %d/%d )"},
      {"Writing Setup information to the registry...", "설치 정보를 레지스트리에 쓰는중..."},
      {"ActiveX installation failed.", "오류가 발생하여 ActiveX 설치를 완료하지 못했습니다."},
      {"Reason : \r\n", "이유 : "},
      {"Invalid package file.", "잘못된 패키지 파일입니다."},
      {"Download failed.", "파일을 다운로드 할 수 없습니다."},
      {"Cannot save the downloaded file to disk.", "로컬 디스크에 다운로드된 파일을 쓸 수 없습니다."},
      {"Cannot open the package file.", "패키지 파일을 열 수 없습니다."},
      {"Cannot extract the setup file.", "설치 파일을 추출 할 수 없습니다."},
      {"Cannot read the setup information file.", "설치 정보 파일을 읽을 수 없습니다."},
      {"Cannot install the file.", "파일을 설치할 수 없습니다."},
      {"Invalid setup information file.", "설치 정보 파일이 잘못되었습니다."},
      {"Mismatched version of ActiveX.", "ActiveX 버전이 일치하지 않습니다."},
      {"Cannot delete the old version of ActiveX. \r\nClose the brower and try again.",
       "이전 버전의 ActiveX를 제거 할 수 없습니다.\r\n관련 브라우저를 종료하시고 다시 시도하시기 바랍니다."},
      {"Ovelin ActiveX Setup Wizard.", "오벨린 ActiveX 설치 마법사"},
      {"Do you want to cancel?\r\nCannot execute ActiveX if ActiveX installation canceled.",
       "ActiveX설치를 취소하시겠습니까?\r\n설치 취소(실패)시 해당 ActiveX 가 실행되지 않습니다. "},
  };
  const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  const LANGID korean = MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN);
  for (UINT id = 1; id <= 26; ++id) {
    EXPECT_EQ(TableString(id, english), FromUtf8(texts[id - 1][0])) << id;
    EXPECT_EQ(TableString(id, korean), FromUtf8(texts[id - 1][1])) << id;
  }
}

TEST(StringTables, LoadStringPicksTheUsersLanguage) {
  // The title in the user's language, through the code page of this run.
  EXPECT_EQ(Widen(LoadResourceString(25)), ExpectedTexts().title);
}

}  // namespace
