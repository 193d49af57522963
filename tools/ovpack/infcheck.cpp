// infcheck FOLDER CLSID [NEEDVERSION]: reads the setup information file of
// an unpacked package with the install job's own reader, so that ovpack
// can tell an operator, before anything is published, the result code a
// player's install would end with.
// infcheck --outside NAME...: prints "outside <name>" for each name the
// engine refuses as leading outside its folder (the cabinet's stored names,
// asked before they are unpacked).
//
// Output, one line each, fields separated by tabs:
//   result <code> <name>
//   item <name> <destDir> <registerServer> <clsid> <fileVersion>   (listed items, in order)
//   main <name>                                                    (the main control item)
//   resource <FileVersion>          (of the main control item's version resource, when it has one)
//   inf <name>                      (the setup information file read, when it was read whole)
// On a fault the items are those read before it. Exit code 0 once the
// reading ran, 2 for wrong arguments.
#include <cstdio>

#include <cstring>

#include "install_package.h"
#include "path_util.h"
#include "result_code.h"
#include "version.h"

namespace {

// Only the extraction folder is read; the reader wants some codebase to
// count as initialised, and none is ever fetched.
const char kUnusedCodebase[] = "file:///ovpack-check";

void PrintItem(const InstallItem& item) {
  std::printf("item\t%s\t%d\t%d\t%s\t%s\n", item.name.c_str(), static_cast<int>(item.destDir),
              static_cast<int>(item.registerServer), item.clsid.c_str(),
              item.fileVersion.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--outside") == 0) {
    for (int i = 2; i < argc; ++i)
      if (!IsContainedName(argv[i])) std::printf("outside\t%s\n", argv[i]);
    return 0;
  }
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: infcheck FOLDER CLSID [NEEDVERSION] | --outside NAME...\n");
    return 2;
  }
  CInstallPackage package;
  package.Init(nullptr, argv[1], argv[2], kUnusedCodebase, argc == 4 ? argv[3] : "", 0);
  ResultCode result = package.LoadSetupInfo();

  char name[64];
  FormatResultCode(result, name, sizeof(name));
  std::printf("result\t%d\t%s\n", static_cast<int>(result), name);
  for (const auto& item : package.items()) PrintItem(*item);
  if (const InstallItem* main = package.mainItem()) {
    std::printf("main\t%s\n", main->name.c_str());
    CFileVersionInfo info;
    if (info.Read(main->sourcePath.c_str()) && info.FileVersion != nullptr)
      std::printf("resource\t%s\n", info.FileVersion);
  }
  if (!package.infItem().name.empty()) std::printf("inf\t%s\n", package.infItem().name.c_str());
  return 0;
}
