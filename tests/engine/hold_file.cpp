// hold_file PATH READY_EVENT QUIT_EVENT: opens PATH for reading without
// sharing it, as a browser window that has the file in use would, signals
// READY_EVENT and keeps the file until QUIT_EVENT is signalled (or 60 s).
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  HANDLE quit = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
  int status = ready != nullptr && quit != nullptr ? 0 : 3;
  if (status == 0) {
    SetEvent(ready);
    WaitForSingleObject(quit, 60000);
  }
  if (ready) CloseHandle(ready);
  if (quit) CloseHandle(quit);
  CloseHandle(file);
  return status;
}
