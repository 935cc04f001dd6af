// Message box styles, with the values of the Windows MB_ constants so that the
// Windows binding passes them through unchanged: what the windows show a message
// with, and the icon a settings rule's finding carries.
#pragma once

enum : unsigned {
  kNoticeOk = 0x00000000u,               // MB_OK
  kNoticeIconError = 0x00000010u,        // MB_ICONERROR / MB_ICONHAND
  kNoticeIconQuestion = 0x00000020u,     // MB_ICONQUESTION
  kNoticeIconWarning = 0x00000030u,      // MB_ICONWARNING / MB_ICONEXCLAMATION
  kNoticeIconInformation = 0x00000040u,  // MB_ICONINFORMATION
};
