// The platform layer of the tests on Windows. A plug-in's messages are MessageBoxA calls,
// which would block (or, without a display, return at once unseen); each loaded library's
// import address table entry for MessageBoxA is pointed at a recorder instead. Exports are
// read from the loaded image's export directory.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "tests/support/platform.h"

namespace qov::test {
namespace {

constexpr char kUser32[] = "USER32.dll";
constexpr char kMessageBoxA[] = "MessageBoxA";

std::mutex gMutex;
std::string* gCollected = nullptr;  // the active capture's text, or null

// Stands in for MessageBoxA: records caption, text, type and owner, and answers as if the
// user had pressed OK.
int WINAPI recordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string line = std::string(caption != nullptr ? caption : "(null)") + ": " + (text != nullptr ? text : "(null)");
  if (type != MB_OK) line += " [type " + std::to_string(type) + ", expected MB_OK]";
  if (owner != nullptr) line += " [with an owner window, expected none]";
  line += '\n';
  std::lock_guard<std::mutex> lock(gMutex);
  if (gCollected != nullptr)
    gCollected->append(line);
  else
    std::fprintf(stderr, "message box outside a capture: %s", line.c_str());
  return IDOK;
}

const uint8_t* imageBase(const host::PluginLibrary& library) {
  return static_cast<const uint8_t*>(library.nativeHandle());
}

const IMAGE_DATA_DIRECTORY& directory(const uint8_t* base, int entry) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->OptionalHeader.DataDirectory[entry];
}

// The import address table slot through which `base` calls `function` of `dll`, or null.
// Matched by name where the image keeps its import name table, else by the bound address.
ULONG_PTR* importSlot(const uint8_t* base, const char* dll, const char* function) {
  const IMAGE_DATA_DIRECTORY& imports = directory(base, IMAGE_DIRECTORY_ENTRY_IMPORT);
  if (imports.VirtualAddress == 0) return nullptr;
  const auto target = reinterpret_cast<ULONG_PTR>(GetProcAddress(GetModuleHandleA(dll), function));
  for (auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), dll) != 0) continue;
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(const_cast<uint8_t*>(base) + descriptor->FirstThunk);
    const auto* names = descriptor->OriginalFirstThunk != 0
                            ? reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk)
                            : nullptr;
    for (std::size_t i = 0; slots[i].u1.Function != 0; ++i) {
      bool match = false;
      if (names != nullptr && !IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) {
        const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
        match = std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0;
      } else {
        match = target != 0 && slots[i].u1.Function == target;
      }
      if (match) return &slots[i].u1.Function;
    }
  }
  return nullptr;
}

}  // namespace

struct MessageCapture::State {
  std::string collected;
};

MessageCapture::MessageCapture() : state_(new State) {
  std::lock_guard<std::mutex> lock(gMutex);
  gCollected = &state_->collected;
}

MessageCapture::~MessageCapture() {
  finish();
  delete state_;
}

std::string MessageCapture::finish() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gCollected == &state_->collected) gCollected = nullptr;
  return std::move(state_->collected);
}

void interceptMessages(const host::PluginLibrary& library) {
  ULONG_PTR* slot = importSlot(imageBase(library), kUser32, kMessageBoxA);
  if (slot == nullptr) throw std::runtime_error(library.path() + ": imports no MessageBoxA from USER32.dll");
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection))
    throw std::runtime_error(library.path() + ": import address table not writable");
  *slot = reinterpret_cast<ULONG_PTR>(&recordMessageBox);
  VirtualProtect(slot, sizeof *slot, protection, &protection);
  FlushInstructionCache(GetCurrentProcess(), slot, sizeof *slot);
}

std::vector<std::string> exportedNames(const host::PluginLibrary& library) {
  const uint8_t* base = imageBase(library);
  const IMAGE_DATA_DIRECTORY& exports = directory(base, IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (exports.VirtualAddress == 0) return {};
  const auto* table = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exports.VirtualAddress);
  const auto* names = reinterpret_cast<const DWORD*>(base + table->AddressOfNames);
  std::vector<std::string> result;
  for (DWORD i = 0; i < table->NumberOfNames; ++i) result.emplace_back(reinterpret_cast<const char*>(base + names[i]));
  // Functions exported by ordinal only have no name; they count all the same.
  for (DWORD i = table->NumberOfNames; i < table->NumberOfFunctions; ++i) result.emplace_back("(ordinal only)");
  return result;
}

}  // namespace qov::test
