#include "settings/uuid.h"

#include <windows.h>
#include <rpc.h>

#include <cstring>

static_assert(sizeof(Guid) == sizeof(UUID), "Guid is laid out like UUID");

bool GuidToText(const Guid& guid, std::string& text) {
  UUID uuid;
  std::memcpy(&uuid, &guid, sizeof uuid);
  RPC_WSTR wide = nullptr;
  // RPC_S_OK on success; the string is freed with RpcStringFreeW.
  if (UuidToStringW(&uuid, &wide) != RPC_S_OK || wide == nullptr) return false;
  text.clear();
  for (const wchar_t* p = reinterpret_cast<const wchar_t*>(wide); *p; ++p)
    text.push_back(*p < 0x80 ? static_cast<char>(*p) : '?');
  RpcStringFreeW(&wide);
  return true;
}

bool GuidFromText(std::string_view text, Guid& guid) {
  guid = Guid{};
  // UuidFromStringW takes a null pointer as the nil UUID; an empty text is no UUID.
  if (text.empty()) return false;
  std::wstring wide;
  for (char c : text) {
    if (c == '\0') return false;
    wide.push_back(static_cast<unsigned char>(c) < 0x80 ? static_cast<wchar_t>(c) : L'?');
  }
  UUID uuid;
  if (UuidFromStringW(reinterpret_cast<RPC_WSTR>(wide.data()), &uuid) != RPC_S_OK) return false;
  std::memcpy(static_cast<void*>(&guid), &uuid, sizeof guid);
  return true;
}
