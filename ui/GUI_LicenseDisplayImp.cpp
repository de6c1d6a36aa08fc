#include "ui/GUI_LicenseDisplayImp.h"

#include <windows.h>

#include "framework/Allocator.h"
#include "resources/resource.h"
#include "system/SystemApp.h"

namespace VLN2 {

GUI_LicenseDisplayImp::GUI_LicenseDisplayImp(Core* core)
    : WindowImp(core, kGUI_LicenseDisplayType) {}

void* GUI_LicenseDisplayImp::Cast(int interfaceId) {
  if (interfaceId == kGUI_LicenseDisplayInterface) return static_cast<GUI_LicenseDisplay*>(this);
  return nullptr;
}

int GUI_LicenseDisplayImp::Show() {
  RunDialog(IDD_TERMS);
  return 0;
}

// The terms were written in the Windows code page 1252, whatever the process code page is
// (UTF-8 where the manifest is honoured): they are shown through the wide function.
constexpr UINT kTermsCodePage = 1252;

// The resource has no terminating zero: its length is its size. A missing or empty text,
// or no memory for the copy, leaves the field empty.
void GUI_LicenseDisplayImp::FillText() {
  SystemApp* app = core_->GetSystemApp();
  HMODULE module = app ? static_cast<HMODULE>(app->GetInstance()) : nullptr;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_TERMS_TEXT), "TXT");
  if (!found) return;
  DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = size ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return;
  const auto* terms = static_cast<const char*>(bytes);
  int units = MultiByteToWideChar(kTermsCodePage, 0, terms, static_cast<int>(size), nullptr, 0);
  auto* text =
      static_cast<wchar_t*>(Allocate((static_cast<std::size_t>(units) + 1) * sizeof(wchar_t)));
  if (units <= 0 || !text) {
    Free(text);
    return;
  }
  MultiByteToWideChar(kTermsCodePage, 0, terms, static_cast<int>(size), text, units);
  text[units] = L'\0';
  SetDlgItemTextW(GetHandle(), IDC_TERMS_TEXT, text);
  Free(text);
}

MessageResult GUI_LicenseDisplayImp::HandleMessage(unsigned message, MessageParam1 first,
                                                   MessageParam2) {
  if (message == WM_INITDIALOG) {
    FillText();
    // The dialog manager selects the whole text of the focused field after this message;
    // show the terms from their start, unselected, instead.
    HWND field = GetDlgItem(GetHandle(), IDC_TERMS_TEXT);
    PostMessageA(field, EM_SETSEL, 0, 0);
    PostMessageA(field, EM_SCROLLCARET, 0, 0);
    return TRUE;
  }
  // "Close", Escape and the close box all send IDCANCEL.
  if (message == WM_COMMAND && LOWORD(first) == IDCANCEL && HIWORD(first) == 0)
    EndDialog(GetHandle(), IDCANCEL);
  return FALSE;
}

}  // namespace VLN2
