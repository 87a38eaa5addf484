// host_platform_win32.cpp -- loading a plug-in module under Windows, counting its global
// memory, answering its dialogs and mapping Unix paths.
#include <windows.h>

#include <cstring>
#include <vector>

#include "host/host_platform.h"
#include "host/host_session.h"
#include "host/memory_procs.h"
#include "host/ui_driver.h"
#include "plugin/pipl_layout.h"

// ---- The plug-in's global memory ----------------------------------------------------------------
//
// The plug-in falls back to GlobalAlloc when the host's buffer procedure refuses. To count
// those blocks, and to refuse them too under --refuse-buffers, the host points the module's
// import address table entries of GlobalAlloc, GlobalReAlloc and GlobalFree at the functions
// below. They call the real kernel32 functions, taken with GetProcAddress (not from the table,
// which may already hold a hook when the module was loaded twice).

typedef HGLOBAL(WINAPI *GlobalAllocFn)(UINT, SIZE_T);
typedef HGLOBAL(WINAPI *GlobalReAllocFn)(HGLOBAL, SIZE_T, UINT);
typedef HGLOBAL(WINAPI *GlobalFreeFn)(HGLOBAL);

static GlobalAllocFn gRealGlobalAlloc = nullptr;
static GlobalReAllocFn gRealGlobalReAlloc = nullptr;
static GlobalFreeFn gRealGlobalFree = nullptr;

static HGLOBAL WINAPI HookGlobalAlloc(UINT flags, SIZE_T bytes) {
  if (!GlobalAllocAllowed(bytes)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HGLOBAL block = gRealGlobalAlloc(flags, bytes);
  NoteGlobalAlloc(block, bytes);
  return block;
}

static HGLOBAL WINAPI HookGlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags) {
  if (!GlobalAllocAllowed(bytes)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HGLOBAL moved = gRealGlobalReAlloc(block, bytes, flags);
  NoteGlobalReAlloc(block, moved, bytes);
  return moved;
}

static HGLOBAL WINAPI HookGlobalFree(HGLOBAL block) {
  HGLOBAL result = gRealGlobalFree(block);
  if (result == nullptr) NoteGlobalFree(block);
  return result;
}

// Points the module's import of `dll`!`function` at `replacement`. False when the module does
// not import it by name.
static bool PatchImport(HMODULE module, const char *dll, const char *function, void *replacement) {
  BYTE *base = reinterpret_cast<BYTE *>(module);
  const IMAGE_DOS_HEADER *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
  const IMAGE_NT_HEADERS *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
  const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) return false;
  bool patched = false;
  for (const IMAGE_IMPORT_DESCRIPTOR *import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
       import->Name != 0; import++) {
    if (lstrcmpiA(reinterpret_cast<const char *>(base + import->Name), dll) != 0) continue;
    IMAGE_THUNK_DATA *address = reinterpret_cast<IMAGE_THUNK_DATA *>(base + import->FirstThunk);
    const IMAGE_THUNK_DATA *name = reinterpret_cast<const IMAGE_THUNK_DATA *>(
        base + (import->OriginalFirstThunk != 0 ? import->OriginalFirstThunk : import->FirstThunk));
    for (; name->u1.AddressOfData != 0; name++, address++) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
      const IMAGE_IMPORT_BY_NAME *byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + name->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char *>(byName->Name), function) != 0) continue;
      DWORD oldProtect = 0;
      if (!VirtualProtect(&address->u1.Function, sizeof(address->u1.Function), PAGE_READWRITE, &oldProtect))
        return false;
      address->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&address->u1.Function, sizeof(address->u1.Function), oldProtect, &oldProtect);
      patched = true;
    }
  }
  return patched;
}

// ---- Loading ------------------------------------------------------------------------------------

static void *FindExport(void *module, const char *name) {
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool LoadPluginModule(const char *path, PluginModule *module, char *error, size_t errorSize) {
  std::memset(module, 0, sizeof(*module));
  // LoadLibrary wants backslashes in a path.
  char native[MAX_PATH * 4];
  size_t n = std::strlen(path);
  if (n >= sizeof native) {
    std::snprintf(error, errorSize, "the plug-in path is too long");
    return false;
  }
  for (size_t i = 0; i <= n; i++) native[i] = path[i] == '/' ? '\\' : path[i];
  HMODULE handle = LoadLibraryA(native);
  if (handle == nullptr) {
    std::snprintf(error, errorSize, "cannot load the plug-in %s (error %lu)", path, GetLastError());
    return false;
  }
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  gRealGlobalAlloc = reinterpret_cast<GlobalAllocFn>(reinterpret_cast<void *>(GetProcAddress(kernel, "GlobalAlloc")));
  gRealGlobalReAlloc =
      reinterpret_cast<GlobalReAllocFn>(reinterpret_cast<void *>(GetProcAddress(kernel, "GlobalReAlloc")));
  gRealGlobalFree = reinterpret_cast<GlobalFreeFn>(reinterpret_cast<void *>(GetProcAddress(kernel, "GlobalFree")));
  PatchImport(handle, "kernel32.dll", "GlobalAlloc", reinterpret_cast<void *>(HookGlobalAlloc));
  PatchImport(handle, "kernel32.dll", "GlobalReAlloc", reinterpret_cast<void *>(HookGlobalReAlloc));
  PatchImport(handle, "kernel32.dll", "GlobalFree", reinterpret_cast<void *>(HookGlobalFree));

  module->module = handle;
  module->findExport = FindExport;
  module->hostWindow = nullptr;   // a console host has no window of its own
  HRSRC resource = FindResourceA(handle, MAKEINTRESOURCEA(kPiplResourceId), kPiplResourceType);
  if (resource != nullptr) {
    HGLOBAL loaded = LoadResource(handle, resource);
    if (loaded != nullptr) {
      module->properties = static_cast<const uint8_t *>(LockResource(loaded));
      module->propertiesSize = SizeofResource(handle, resource);
    }
  }
  HRSRC terminology = FindResourceA(handle, MAKEINTRESOURCEA(16000), "AETE");
  if (terminology != nullptr) {
    HGLOBAL loaded = LoadResource(handle, terminology);
    if (loaded != nullptr) {
      module->terminology = static_cast<const uint8_t *>(LockResource(loaded));
      module->terminologySize = SizeofResource(handle, terminology);
    }
  }
  return true;
}

void UnloadPluginModule(PluginModule *module) {
  if (module->module != nullptr) FreeLibrary(static_cast<HMODULE>(module->module));
  std::memset(module, 0, sizeof(*module));
}

// ---- Standard error ------------------------------------------------------------------------------

void WriteStandardError(const char *text, size_t size) {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(handle, text, DWORD(size), &written, nullptr);
}

// ---- Paths --------------------------------------------------------------------------------------

void MapHostPath(char *path, size_t capacity) {
  // Wine maps the Unix root to drive Z:, so "/tmp/a.png" is "Z:/tmp/a.png". Relative paths
  // work as they are: the Unix current directory is the process's current directory.
  if (path[0] != '/') return;
  size_t n = std::strlen(path);
  if (n + 3 > capacity) return;
  std::memmove(path + 2, path, n + 1);
  path[0] = 'Z';
  path[1] = ':';
}

// ---- Dialogs ------------------------------------------------------------------------------------
//
// With --close-dialogs every modal dialog the plug-in opens is answered with Cancel: a thread
// timer runs while the entry is called, and the dialog's modal loop dispatches it. It looks
// for visible dialog windows of this thread and posts them IDCANCEL; a dialog that is still
// there a second later is ended directly.

struct SeenDialog {
  HWND window;
  int32_t ticks;
};

static HostSession *gCallSession = nullptr;
static UINT_PTR gDialogTimer = 0;
static std::vector<SeenDialog> gSeenDialogs;
constexpr UINT kDialogTimerMs = 50;
constexpr int32_t kForceAfterTicks = 20;

static BOOL CALLBACK AnswerDialog(HWND window, LPARAM) {
  char className[16];
  if (!IsWindowVisible(window) || GetClassNameA(window, className, sizeof className) == 0 ||
      std::strcmp(className, "#32770") != 0)
    return TRUE;
  for (SeenDialog &seen : gSeenDialogs) {
    if (seen.window != window) continue;
    if (++seen.ticks == kForceAfterTicks) {
      char title[256] = "";
      GetWindowTextA(window, title, sizeof title);
      if (gCallSession != nullptr) NoteDialogAnswered(gCallSession, title, true);
      EndDialog(window, IDCANCEL);
    }
    return TRUE;
  }
  char title[256] = "";
  GetWindowTextA(window, title, sizeof title);
  gSeenDialogs.push_back(SeenDialog{window, 0});
  if (gCallSession != nullptr) NoteDialogAnswered(gCallSession, title, false);
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return TRUE;
}

static void CALLBACK DialogTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), AnswerDialog, 0);
}

void BeginPluginCall(HostSession *session) {
  BeginUiDriverCall(session);
  if (!session->options.closeDialogs) return;
  gCallSession = session;
  gSeenDialogs.clear();
  gDialogTimer = SetTimer(nullptr, 0, kDialogTimerMs, DialogTimerProc);
}

void EndPluginCall(HostSession *session) {
  EndUiDriverCall(session);
  if (gDialogTimer != 0) KillTimer(nullptr, gDialogTimer);
  gDialogTimer = 0;
  gCallSession = nullptr;
  gSeenDialogs.clear();
}
