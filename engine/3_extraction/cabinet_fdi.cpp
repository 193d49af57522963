#include "cabinet_fdi.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// GetProcAddress gives a generic FARPROC; each entry point has its own type.
template <class Function>
Function LookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void* __cdecl Allocate(ULONG size) { return std::malloc(size); }
void __cdecl Release(void* block) { std::free(block); }

const char kHandlePrefix[] = "ovcabinet:";

// FDI opens the cabinet by the name that CCabinet::Open made of its handle;
// any other name is refused. The descriptor owns a duplicate, which
// _close releases.
INT_PTR __cdecl OpenInput(char* name, int, int) {
  const size_t prefix = sizeof(kHandlePrefix) - 1;
  unsigned long long value = 0;
  if (name == nullptr || std::strncmp(name, kHandlePrefix, prefix) != 0 ||
      std::sscanf(name + prefix, "%llx", &value) != 1)
    return -1;
  CLocalFile input;
  if (!input.OpenDuplicate(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(value))) ||
      !input.Seek(0))
    return -1;
  const int descriptor =
      _open_osfhandle(reinterpret_cast<intptr_t>(input.Handle()), _O_RDONLY | _O_BINARY);
  if (descriptor != -1) input.Detach();
  return descriptor;
}

UINT __cdecl ReadInput(INT_PTR handle, void* buffer, UINT count) {
  return static_cast<UINT>(_read(static_cast<int>(handle), buffer, count));
}

UINT __cdecl WriteDescriptor(INT_PTR handle, void* buffer, UINT count) {
  return static_cast<UINT>(_write(static_cast<int>(handle), buffer, count));
}

LONG __cdecl SeekInput(INT_PTR handle, LONG distance, int origin) {
  return _lseek(static_cast<int>(handle), distance, origin);
}

// Output handles are object addresses, which Windows never places in the
// lowest 64 KiB; runtime-library descriptors are small numbers, or -1.
// Compared without sign: a large-address-aware 32-bit process has objects
// above 2 GiB.
bool IsObjectHandle(INT_PTR handle) { return handle != -1 && static_cast<UINT_PTR>(handle) >= 0x10000; }

}  // namespace

CCabinet::CCabinet() : writeCallback_(WriteDescriptor) {}

CCabinet::~CCabinet() { Unload(); }

bool CCabinet::Open(const char* path, HANDLE file) {
  if (module_ == nullptr) module_ = LoadLibraryA("Cabinet.dll");
  if (module_ != nullptr && context_ == nullptr) {
    auto create = LookUp<decltype(&FDICreate)>(module_, "FDICreate");
    if (create != nullptr)
      context_ = create(Allocate, Release, OpenInput, ReadInput, writeCallback_,
                        CloseHandleOrOutput, SeekInput, cpu80386, &erf_);
    if (context_ == nullptr) Unload();
  }
  if (module_ == nullptr || context_ == nullptr || cabinet_.IsOpen()) return false;
  const bool held = file != INVALID_HANDLE_VALUE && file != nullptr
                        ? cabinet_.OpenDuplicate(file)
                        : path != nullptr &&
                              cabinet_.Open(path, CLocalFile::ExistingForRead, FILE_ATTRIBUTE_NORMAL);
  if (!held) return false;
  std::snprintf(cabinetName_, sizeof(cabinetName_), "%s%llx", kHandlePrefix,
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(cabinet_.Handle())));
  return true;
}

bool CCabinet::IsReady() const {
  return module_ != nullptr && context_ != nullptr && cabinet_.IsOpen();
}

BOOL CCabinet::Copy() {
  if (!IsReady()) return FALSE;
  auto copy = LookUp<decltype(&FDICopy)>(module_, "FDICopy");
  if (copy == nullptr) return FALSE;
  char noFolder[] = "";
  return copy(context_, cabinetName_, noFolder, 0, Notify, nullptr, this);
}

void CCabinet::Unload() {
  if (context_ != nullptr) {
    auto destroy = LookUp<decltype(&FDIDestroy)>(module_, "FDIDestroy");
    if (destroy != nullptr && destroy(context_)) context_ = nullptr;
  }
  if (module_ != nullptr) {
    FreeLibrary(module_);
    module_ = nullptr;
  }
}

INT_PTR __cdecl CCabinet::Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
  if (note == nullptr || note->pv == nullptr) return -1;
  CCabinet* self = static_cast<CCabinet*>(note->pv);
  switch (type) {
    case fdintCOPY_FILE:
      return self->OnCopyFile(note);
    case fdintCLOSE_FILE_INFO:
      return self->OnCloseFileInfo(note);
    default:
      return 0;
  }
}

int __cdecl CCabinet::CloseHandleOrOutput(INT_PTR handle) {
  // This platform's FDI closes handle 0 when it gives up before it has
  // recorded the cabinet's descriptor. Descriptor 0 is standard input,
  // which the runtime library keeps for itself even in windowed programs,
  // so it is never one of ours.
  if (handle == 0) return 0;
  if (IsObjectHandle(handle)) {
    FromHandle(handle)->CloseOutput();
    return 0;
  }
  return _close(static_cast<int>(handle));
}
