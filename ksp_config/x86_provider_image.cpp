#include "x86_provider_image.h"

#include <cstddef>
#include <cstring>

#include "cng_provider_key.h"
#include "unique_handle.h"

namespace {

constexpr char kEntryPoint[] = "GetKeyStorageInterface";
constexpr DWORD kLargestImage = 64 * 1024 * 1024;

// The bytes of `file` at `offset`, `length` of them, or null when they lie outside it.
const BYTE* At(const std::vector<BYTE>& file, size_t offset, size_t length) {
  if (offset > file.size() || length > file.size() - offset) return nullptr;
  return file.data() + offset;
}

template <typename T>
bool Read(const std::vector<BYTE>& file, size_t offset, T* value) {
  const BYTE* bytes = At(file, offset, sizeof(T));
  if (bytes == nullptr) return false;
  std::memcpy(value, bytes, sizeof(T));
  return true;
}

// Where the image's relative address `rva` lies in the file, through its section table.
bool FileOffset(const std::vector<BYTE>& file, size_t sections, WORD count, DWORD rva,
                size_t* offset) {
  for (WORD index = 0; index < count; ++index) {
    IMAGE_SECTION_HEADER section;
    if (!Read(file, sections + index * sizeof(section), &section)) return false;
    const DWORD size = section.Misc.VirtualSize > section.SizeOfRawData ? section.Misc.VirtualSize
                                                                         : section.SizeOfRawData;
    if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
      *offset = static_cast<size_t>(section.PointerToRawData) + (rva - section.VirtualAddress);
      return true;
    }
  }
  return false;
}

// The export name at `offset` is the entry point's, terminator included.
bool IsEntryPointName(const std::vector<BYTE>& file, size_t offset) {
  const BYTE* name = At(file, offset, sizeof(kEntryPoint));
  return name != nullptr && std::memcmp(name, kEntryPoint, sizeof(kEntryPoint)) == 0;
}

}  // namespace

X86ProviderImage InspectX86ProviderImage(const std::vector<BYTE>& file) {
  IMAGE_DOS_HEADER dos;
  IMAGE_NT_HEADERS32 nt;
  if (!Read(file, 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
      !Read(file, static_cast<size_t>(dos.e_lfanew), &nt) || nt.Signature != IMAGE_NT_SIGNATURE ||
      nt.FileHeader.Machine != IMAGE_FILE_MACHINE_I386 ||
      (nt.FileHeader.Characteristics & IMAGE_FILE_DLL) == 0 ||
      nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC ||
      nt.OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT) {
    return X86ProviderImage::NotX86Library;
  }
  const size_t sections = static_cast<size_t>(dos.e_lfanew) +
                          offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                          nt.FileHeader.SizeOfOptionalHeader;
  const WORD count = nt.FileHeader.NumberOfSections;
  const DWORD exports =
      nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
  size_t offset = 0;
  IMAGE_EXPORT_DIRECTORY directory;
  if (exports == 0 || !FileOffset(file, sections, count, exports, &offset) ||
      !Read(file, offset, &directory) ||
      !FileOffset(file, sections, count, directory.AddressOfNames, &offset)) {
    return X86ProviderImage::NoEntryPoint;
  }
  for (DWORD index = 0; index < directory.NumberOfNames; ++index) {
    DWORD name_rva = 0;
    size_t name = 0;
    if (!Read(file, offset + index * sizeof(DWORD), &name_rva)) break;
    if (FileOffset(file, sections, count, name_rva, &name) && IsEntryPointName(file, name)) {
      return X86ProviderImage::Usable;
    }
  }
  return X86ProviderImage::NoEntryPoint;
}

X86ProviderImage InspectX86ProviderFile(const std::wstring& path) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) {
    return X86ProviderImage::Missing;
  }
  if (size.QuadPart > kLargestImage) return X86ProviderImage::NotX86Library;
  std::vector<BYTE> bytes(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
    return X86ProviderImage::Missing;
  }
  bytes.resize(read);
  return InspectX86ProviderImage(bytes);
}

std::wstring X86ProviderDllPath() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemWow64DirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  const DWORD attributes = GetFileAttributesW(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return std::wstring();  // no 32-bit system here
  }
  return std::wstring(folder, length) + L"\\" + kProviderImageName;
}
