// The named events of "exitevent" and "confirmevent" on Windows: the events a
// calling program created, opened by name with full access and not inherited.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "common/code_pages.h"
#include "pargo/pargo.h"

namespace {

struct OwnEvent {
  explicit OwnEvent(const std::wstring& name)
      : handle(CreateEventW(nullptr, TRUE, FALSE, name.c_str())) {}
  ~OwnEvent() { CloseHandle(handle); }
  HANDLE handle;
};

void ExpectFullAccessNotInherited(EventHandle opened, HANDLE created) {
  ASSERT_NE(opened, nullptr);
  DWORD flags = 0;
  ASSERT_TRUE(GetHandleInformation(opened, &flags));
  EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
  EXPECT_TRUE(SetEvent(opened));
  EXPECT_EQ(WaitForSingleObject(created, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(opened));
  EXPECT_EQ(WaitForSingleObject(created, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(CommandLineEvents, OpenedByNameAndKept) {
  const std::wstring id = std::to_wstring(GetCurrentProcessId());
  const std::wstring exitName = L"kv4t-exit-" + id;
  const std::wstring confirmName = L"Подтверждение КВ4Т " + id;
  OwnEvent exitEvent(exitName);
  OwnEvent confirmEvent(confirmName);
  ASSERT_TRUE(exitEvent.handle && confirmEvent.handle);

  CommandLineOptions options;
  const std::wstring line = L"/exitevent:" + exitName + L" \"/confirmevent:" + confirmName + L"\"";
  PRGO_SetArguments(WideToCp1251(line).c_str());
  ApplyCommandLine(nullptr, options);
  ExpectFullAccessNotInherited(options.exitEvent, exitEvent.handle);
  ExpectFullAccessNotInherited(options.confirmEvent, confirmEvent.handle);
}

TEST(CommandLineEvents, ANameWithoutAnEventOpensNothing) {
  CommandLineOptions options;
  const std::wstring line = L"/exitevent:kv4t-none-" + std::to_wstring(GetCurrentProcessId());
  PRGO_SetArguments(WideToCp1251(line).c_str());
  ApplyCommandLine(nullptr, options);
  EXPECT_EQ(options.exitEvent, nullptr);
  EXPECT_EQ(options.confirmEvent, nullptr);
}

}  // namespace
