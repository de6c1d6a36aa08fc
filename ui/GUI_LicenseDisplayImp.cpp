#include "ui/GUI_LicenseDisplayImp.h"

#include <windows.h>

#include <cstdint>

#include "framework/Allocator.h"
#include "resources/resource.h"
#include "system/SystemApp.h"
#include "system/port/Port.h"

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
constexpr std::uint32_t kTermsCodePage = 1252;

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
  auto* text = static_cast<std::uint16_t*>(Allocate((size + 1) * sizeof(std::uint16_t)));
  std::uint32_t units = size;
  if (text && Port::ToWideText(kTermsCodePage, terms, size, text, &units)) {
    text[units] = 0;
    SetDlgItemTextW(GetHandle(), IDC_TERMS_TEXT, reinterpret_cast<const wchar_t*>(text));
  }
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
