// The line-test page without a converter: the start condition, a test that ends
// at the port check, and the page's part in the sheet's load and save.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "pages/dlg_test.h"
#include "tests/pages/line_page_support.h"

namespace {

using TestPage = line_pages::TestPageFixture;

TEST_F(TestPage, IdleControls) { ExpectIdle("Т&ест"); }

TEST_F(TestPage, WordLengthSevenRefusesToStart) {
  device->Rs485Set().bytesize = 7;
  ASSERT_TRUE(controls->Press(IDC_TEST_BUTTON));
  const auto boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text,
            "Недопустимое значение длинны слова данных: 7\n"
            "Для проведения теста необходима связь с длинной слова данных 8");
  EXPECT_EQ(boxes[0].caption, "Нельзя выполнить операцию");
  EXPECT_EQ(boxes[1].text,
            "Недопустимый режим связи.\n"
            "Для проведения теста измените режим связи с прибором на 8-битеый и повторите "
            "попытку!");
  EXPECT_EQ(boxes[1].caption, "Нельзя начать тестирование");
  for (const UiEvent& box : boxes) EXPECT_EQ(box.style, kNoticeIconError);
  EXPECT_TRUE(controls->Enabled(IDC_TEST_BUTTON));
  EXPECT_FALSE(page->running);
  EXPECT_TRUE(Notifications().empty());  // no thread, the sheet never busy
}

TEST_F(TestPage, EmptyPortEndsAtThePortCheck) {
  device->LinkSet().port.clear();
  const PortSettings link = device->LinkSet();
  ASSERT_TRUE(controls->Press(IDC_TEST_BUTTON));
  page->WaitForWorker();
  EXPECT_EQ(controls->Text(IDC_TEST_LOG),
            "Тестирование началось...\r\n"
            "ошибка: рабочий порт не выбран\r\n"
            "Тестирование завершено\r\n");
  EXPECT_EQ(Notifications(), (std::vector<int>{WM_PAGE_BUSY, WM_PAGE_IDLE}));
  ExpectIdle("&Тест");
  EXPECT_EQ(device->LinkSet(), link);
  EXPECT_FALSE(device->connected);

  // The next test starts with an empty protocol.
  ASSERT_TRUE(controls->Press(IDC_TEST_BUTTON));
  page->WaitForWorker();
  EXPECT_EQ(controls->Text(IDC_TEST_LOG).find("Тестирование началось..."), 0u);
  EXPECT_EQ(controls->Text(IDC_TEST_LOG).rfind("Тестирование началось..."), 0u);
}

TEST_F(TestPage, SaveMarksCleanAndLoadOnlyReannounces) {
  page->SetModified(true);
  ui.Clear();
  page->ExchangeSettings(device.get(), false, true);
  page->ExchangeSettings(device.get(), true, false);
  EXPECT_FALSE(page->modified);
  EXPECT_FALSE(page->needsRefresh);
  EXPECT_EQ(Notifications(), (std::vector<int>{WM_PAGE_MODIFIED, WM_PAGE_CLEAN}));
}

}  // namespace
