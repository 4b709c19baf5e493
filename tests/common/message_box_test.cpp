// A box the code shows in a process without an interactive desktop (a web
// server's) is written to the debugger output and answered at once with its
// default button, so a question never waits for a click nobody can give.
// Natively only: under Wine the desktop is real and a box would wait.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/ServerMessageBox.h"

#ifndef _WIN32
TEST(ServerMessageBox, WithoutADesktopTheDefaultButtonAnswers) {
  ASSERT_FALSE(HasInteractiveDesktop());
  struct TCase {
    UINT Type;
    int Answer;
  };
  for (const TCase& c : {TCase{MB_OK | MB_ICONSTOP, IDOK}, TCase{MB_OKCANCEL, IDOK},
                         TCase{MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL}, TCase{MB_YESNO, IDYES},
                         TCase{MB_YESNO | MB_DEFBUTTON2, IDNO}, TCase{MB_YESNOCANCEL, IDYES},
                         TCase{MB_YESNOCANCEL | MB_DEFBUTTON2, IDNO}}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(ServerMessageBox(nullptr, "Du you really...", "Quorvex", c.Type), c.Answer) << c.Type;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Quorvex] Du you really...\r\n");
  }
  // No caption reads as an error's.
  testing::internal::CaptureStderr();
  ServerMessageBox(nullptr, "disk full", nullptr, MB_OK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Error] disk full\r\n");
}
#endif
